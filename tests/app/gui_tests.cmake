# The editor's parts on QtCore alone, without a window.
add_executable(editor_test editor/editor_main.cpp editor/editor_core_test.cpp editor/document_test.cpp
  editor/text_test.cpp)
target_link_libraries(editor_test PRIVATE kitforge_editor kitforge_test_support GTest::gtest)
gtest_discover_tests(editor_test DISCOVERY_TIMEOUT 60 DISCOVERY_MODE ${KITFORGE_DISCOVERY_MODE} NO_PRETTY_VALUES
  PROPERTIES LABELS core)

# The Qt editor, driven through its real widgets on the offscreen platform.
find_package(Qt6 REQUIRED COMPONENTS Gui Test)
add_library(kitforge_gui_harness STATIC app/gui_harness.cpp app/gui_main.cpp)
target_link_libraries(kitforge_gui_harness PUBLIC kitforge_gui kitforge_test_support Qt6::Test GTest::gtest)
target_include_directories(kitforge_gui_harness PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/app ${CMAKE_CURRENT_SOURCE_DIR}/editor)
target_compile_definitions(kitforge_gui_harness PUBLIC KITFORGE_SOURCE_DATA_DIR="${PROJECT_SOURCE_DIR}/data"
  KITFORGE_HELP_FILE="${PROJECT_SOURCE_DIR}/data/kitforge.html"
  KITFORGE_EXECUTABLE="$<TARGET_FILE:kitforge>")
set(CMAKE_AUTOMOC ON)
add_executable(gui_test app/startup_test.cpp app/grid_test.cpp app/panel_test.cpp app/edit_commands_test.cpp
  app/file_commands_test.cpp app/fetch_test.cpp app/compare_test.cpp app/library_test.cpp app/library_grid_test.cpp
  app/settings_test.cpp app/shell_test.cpp app/transfer_test.cpp app/name_bar_test.cpp app/platform_test.cpp)
if(WIN32)
  target_sources(gui_test PRIVATE app/single_instance_win_test.cpp)
else()
  target_sources(gui_test PRIVATE app/single_instance_lock_test.cpp app/end_signals_test.cpp)
endif()
target_link_libraries(gui_test PRIVATE kitforge_gui_harness Qt6::GuiPrivate)
gtest_discover_tests(gui_test DISCOVERY_TIMEOUT 60 DISCOVERY_MODE ${KITFORGE_DISCOVERY_MODE} NO_PRETTY_VALUES
  PROPERTIES LABELS gui ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
# What cmake --install lays out for a desktop, the entry checked by desktop-file-validate.
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE AND NOT WIN32)
  add_test(NAME install_layout_test COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/app/install_test.sh ${PROJECT_BINARY_DIR}
           ${CMAKE_CURRENT_BINARY_DIR}/install_work)
  set_tests_properties(install_layout_test PROPERTIES LABELS gui)
endif()
