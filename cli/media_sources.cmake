# The tool's media and project layer: one list for the main build and the
# fuzz build, so that neither can miss a source the other has.
set(CORVALIS_MEDIA_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/atomic_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_source.cpp
  ${CMAKE_CURRENT_LIST_DIR}/library_messages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/media_index.cpp
  ${CMAKE_CURRENT_LIST_DIR}/media_info.cpp
  ${CMAKE_CURRENT_LIST_DIR}/media_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/media_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/output_codec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packet_index.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pixel_buffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pixel_convert.cpp
  ${CMAKE_CURRENT_LIST_DIR}/png_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/project_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/yuv_convert.cpp
  ${CMAKE_CURRENT_LIST_DIR}/yuv_frames.cpp
  ${CMAKE_CURRENT_LIST_DIR}/yuv_kernels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/yuv_kernels_x86.cpp)
