#pragma once
// Refusing chosen event creations of the library: a program that uses this
// file creates every event through its CreateEventA (event_failures.cpp).
namespace winseria::testing {

// Lets the next `successes` event creations succeed and makes the one after
// fail with ERROR_NOT_ENOUGH_MEMORY; a negative value turns this off.
void FailEventCreationAfter(int successes);

}  // namespace winseria::testing
