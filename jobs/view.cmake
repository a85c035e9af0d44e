# The picture and the result viewer of a render job. Included from
# jobs/CMakeLists.txt; liblumora links jobsview.
add_library(jobsview STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ImageFormat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Picture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewTransform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MergeImg.cpp)
target_include_directories(jobsview PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(jobsview PUBLIC platform_qt Qt6::Widgets)

farm_add_test(NAME jobsview_picture_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/Picture_test.cpp
  LIBS jobsview)
farm_add_test(NAME jobsview_transform_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ViewTransform_test.cpp
  LIBS jobsview)
farm_add_test(NAME jobsview_mergeimg_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MergeImg_test.cpp
  LIBS jobsview TIMEOUT 120)
