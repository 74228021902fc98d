# find_package(winseria) gives the imported target winseria::winseria
# (libwinseria.so.3 and the directory of winseria.h).
include(${CMAKE_CURRENT_LIST_DIR}/winseriaTargets.cmake)
