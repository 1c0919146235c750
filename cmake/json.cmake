# nlohmann-json (header-only) for the virtual reader's journal and the tests.
# A cross build must not put the host's /usr/include on its path, where the
# host's C headers would shadow the target's; it sees the JSON headers alone
# through a directory of its own in the build tree.
if(CMAKE_CROSSCOMPILING)
  find_path(READER_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(json_dir ${CMAKE_BINARY_DIR}/json-include)
  file(MAKE_DIRECTORY ${json_dir})
  file(CREATE_LINK ${READER_JSON_INCLUDE}/nlohmann ${json_dir}/nlohmann SYMBOLIC)
  add_library(reader_json INTERFACE)
  target_include_directories(reader_json SYSTEM INTERFACE ${json_dir})
  add_library(nlohmann_json::nlohmann_json ALIAS reader_json)
else()
  find_package(nlohmann_json 3 REQUIRED)
endif()
