# The DLLs and Qt plugins the Windows programs load, copied beside them in the build tree (so
# the tests run under Wine as the unpacked program does) and installed with them.
set(kitforge_runtime_files "")
set(kitforge_build_only "")

# The built-in synth's DLL, and the MinGW runtime it and a DLL-linked program load.
if(TARGET kitforge_fluidsynth)
  get_target_property(dll kitforge_fluidsynth IMPORTED_LOCATION)
  # A small GM SoundFont from Debian (timgm6mb-soundfont, GPL-2), what the synth plays by default.
  set(KITFORGE_WINDOWS_SOUNDFONT /usr/share/sounds/sf2/TimGM6mb.sf2 CACHE FILEPATH
    "The SoundFont shipped beside the Windows program")
  list(APPEND kitforge_runtime_files ".|${dll}" ".|${KITFORGE_WINDOWS_SOUNDFONT}")
  # FluidSynth's licence (LGPL-2.1) beside its DLL, as cmake/fluidsynth-windows.sh keeps it.
  set(licence "${KITFORGE_WINDOWS_FLUIDSYNTH}/share/kitforge/FluidSynth-LICENSE.txt")
  if(NOT EXISTS "${licence}")
    message(FATAL_ERROR "FluidSynth's licence text is missing: ${licence}")
  endif()
  list(APPEND kitforge_runtime_files ".|${licence}")
endif()
if(TARGET kitforge_fluidsynth OR (DEFINED KITFORGE_MINGW_STATIC AND NOT KITFORGE_MINGW_STATIC))
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll} OUTPUT_VARIABLE path
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
      message(FATAL_ERROR "MinGW's ${dll} not found (${path})")
    endif()
    get_filename_component(path "${path}" REALPATH)
    list(APPEND kitforge_runtime_files ".|${path}")
  endforeach()
endif()

if(KITFORGE_GUI)
  foreach(module Core Gui Widgets)
    list(APPEND kitforge_runtime_files ".|${KITFORGE_WINDOWS_QT}/bin/Qt6${module}.dll")
  endforeach()
  list(APPEND kitforge_runtime_files "platforms|${KITFORGE_WINDOWS_QT}/plugins/platforms/qwindows.dll"
    "styles|${KITFORGE_WINDOWS_QT}/plugins/styles/qwindowsvistastyle.dll")
  # Qt's own texts in Japanese (the dialogs' buttons), from the host's Qt of the same version.
  list(APPEND kitforge_runtime_files "translations|/usr/share/qt6/translations/qtbase_ja.qm")
  # The tests' platform and library, in the build tree only.
  list(APPEND kitforge_build_only "platforms|${KITFORGE_WINDOWS_QT}/plugins/platforms/qoffscreen.dll"
    ".|${KITFORGE_WINDOWS_QT}/bin/Qt6Test.dll")
endif()

set(kitforge_copies "")
foreach(entry ${kitforge_runtime_files} ${kitforge_build_only})
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 dir)
  list(GET parts 1 file)
  get_filename_component(name "${file}" NAME)
  set(to "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${dir}/${name}")
  add_custom_command(OUTPUT "${to}" COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${dir}"
                     COMMAND ${CMAKE_COMMAND} -E copy_if_different "${file}" "${to}" DEPENDS "${file}" VERBATIM)
  list(APPEND kitforge_copies "${to}")
  if(NOT entry IN_LIST kitforge_build_only)
    install(FILES "${file}" DESTINATION "${dir}")
  endif()
endforeach()
add_custom_target(kitforge_windows_runtime ALL DEPENDS ${kitforge_copies})
