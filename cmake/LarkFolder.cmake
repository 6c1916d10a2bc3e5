# lark_folder_library(<folder>): the object library lark_<folder> of one core folder, made of
# every .cpp in it and its sub-folders. A folder without sources yet makes no target.
function(lark_folder_library folder)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(lark_${folder} OBJECT ${sources})
    target_link_libraries(lark_${folder} PUBLIC lark_flags)
  endif()
endfunction()
