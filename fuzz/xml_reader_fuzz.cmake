# The XML readers' fuzz target, included by fuzz/CMakeLists.txt (its replay joins the
# project's `replay`). It builds the program's layers below the Qt user interface with
# the fuzzer's instrumentation, so coverage reaches the readers and the rows they call.
#   replay_xml_readers: runs every file of corpus/xml_readers once (what CI does);
#   build-fuzz/xml_reader_fuzz fuzz/corpus/xml_readers: fuzzes for as long as you let it.
find_package(PkgConfig REQUIRED)
pkg_check_modules(XML_FUZZ_PORTAUDIO REQUIRED IMPORTED_TARGET portaudio-2.0)
pkg_check_modules(XML_FUZZ_SNDFILE REQUIRED IMPORTED_TARGET sndfile)
pkg_check_modules(XML_FUZZ_SOXR REQUIRED IMPORTED_TARGET soxr)
find_package(EXPAT REQUIRED)
find_library(XML_FUZZ_PORTMIDI portmidi REQUIRED)
pkg_check_modules(XML_FUZZ_LIBLO REQUIRED IMPORTED_TARGET liblo)
pkg_check_modules(XML_FUZZ_JACK REQUIRED IMPORTED_TARGET jack)
# Header-only; its target carries the platform's definitions the headers need.
find_package(AbletonLink REQUIRED CONFIG)
find_package(Threads REQUIRED)

# Recursive, as the layers' own build globs: the application's sub-folders come along.
file(GLOB_RECURSE xml_fuzz_sources CONFIGURE_DEPENDS
     ${src}/effects/*.cpp ${src}/engine/*.cpp ${src}/audio_io/*.cpp ${src}/persist/*.cpp
     ${src}/control/*.cpp ${src}/app/*.cpp)
add_library(xml_fuzz_layers STATIC ${xml_fuzz_sources})
target_include_directories(xml_fuzz_layers PUBLIC ${src})
target_compile_options(xml_fuzz_layers PRIVATE -g -O1 -fsanitize=fuzzer-no-link,address,undefined
                       -fno-sanitize-recover=undefined)
target_link_libraries(xml_fuzz_layers PUBLIC PkgConfig::XML_FUZZ_PORTAUDIO PkgConfig::XML_FUZZ_SNDFILE
                      PkgConfig::XML_FUZZ_SOXR EXPAT::EXPAT
                      ${XML_FUZZ_PORTMIDI} PkgConfig::XML_FUZZ_LIBLO PkgConfig::XML_FUZZ_JACK Threads::Threads)
target_link_libraries(xml_fuzz_layers PRIVATE Ableton::Link)

add_executable(xml_reader_fuzz ${CMAKE_CURRENT_LIST_DIR}/xml_reader_fuzz.cpp)
target_compile_options(xml_reader_fuzz PRIVATE -g -O1 -fsanitize=fuzzer,address,undefined
                       -fno-sanitize-recover=undefined)
target_link_options(xml_reader_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(xml_reader_fuzz PRIVATE xml_fuzz_layers)

add_custom_target(replay_xml_readers
  COMMAND xml_reader_fuzz -runs=0 ${CMAKE_CURRENT_LIST_DIR}/corpus/xml_readers
  DEPENDS xml_reader_fuzz
  COMMENT "Replaying the XML readers corpus")
if(TARGET replay)
  add_dependencies(replay replay_xml_readers)
endif()
