# The floor program of the start-up benchmark (bench/startup runs both it and the diary).
add_executable(startup_floor ${CMAKE_CURRENT_LIST_DIR}/startup_floor.cpp)
target_link_libraries(startup_floor PRIVATE Qt6::Widgets)
kivlog_warnings(startup_floor)
