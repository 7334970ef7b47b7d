# The firmware images are product data this project does not carry; the build
# generates a stand-in for each name, which the simulated pod recognises.
# The names are in the order of tqla::firmware::Image.
set(TQLA_FIRMWARE_IMAGES
  Logic16Image Logic8Image TimingImage Scope2Image Scope1Image
  StreamImage1 StreamImage4 StreamImage5 StreamImage6 StreamImage7 StreamImage8 StreamImage9
  Generator8Image Generator16Image
  ModeImage1 ModeImage2 ModeImage3 ModeImage4 ModeImage5 ModeImage6 ModeImage7
  ModeImage8 ModeImage9 ModeImage10 ModeImage11 ModeImage12 ModeImage13
  VendorImage)
string(REPLACE ";" "," TQLA_FIRMWARE_IMAGE_LIST "${TQLA_FIRMWARE_IMAGES}")
set(TQLA_STANDINS_CPP ${PROJECT_BINARY_DIR}/generated/firmware_standins.cpp)
add_custom_command(OUTPUT ${TQLA_STANDINS_CPP}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${TQLA_STANDINS_CPP} -DIMAGES=${TQLA_FIRMWARE_IMAGE_LIST}
          -P ${CMAKE_CURRENT_LIST_DIR}/standins.cmake
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/standins.cmake ${CMAKE_CURRENT_LIST_DIR}/firmware.cmake
  COMMENT "Generating the stand-in firmware images"
  VERBATIM)
target_sources(tqla_objects PRIVATE ${TQLA_STANDINS_CPP})
