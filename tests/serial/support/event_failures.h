#pragma once
// Refusing chosen event creations of the library, through its installable
// event creator.
namespace winseria::testing {

// Lets the next `successes` event creations succeed and makes the one after
// fail with ERROR_NOT_ENOUGH_MEMORY; a negative value turns this off.
void FailEventCreationAfter(int successes);

}  // namespace winseria::testing
