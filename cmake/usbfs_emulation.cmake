# The device emulation that lets the tests and benchmarks run the libusb
# backend against simulated pods on an emulated USB bus (Debian: umockdev for
# the preload library, libumockdev-dev for the headers). Without it those
# suites are left out and the build says so.
set(TQLA_USBFS_EMULATION OFF)
if(LIBUSB_FOUND)
  pkg_check_modules(UMOCKDEV IMPORTED_TARGET umockdev-1.0)
  find_library(UMOCKDEV_PRELOAD NAMES libumockdev-preload.so.0 umockdev-preload)
  if(UMOCKDEV_FOUND AND UMOCKDEV_PRELOAD)
    set(TQLA_USBFS_EMULATION ON)
  endif()
endif()
if(TQLA_USBFS_EMULATION)
  message(STATUS "umockdev ${UMOCKDEV_VERSION} found: the libusb backend is tested against emulated pods")
  add_library(tqla_usbfs_pods STATIC ${PROJECT_SOURCE_DIR}/tests/libusb/usbfs_pod.cpp)
  target_link_libraries(tqla_usbfs_pods PUBLIC tqla_core PkgConfig::UMOCKDEV)
  target_include_directories(tqla_usbfs_pods PUBLIC ${PROJECT_SOURCE_DIR}/tests/libusb)
  # What ThreadSanitizer cannot judge inside the emulation's own libraries.
  target_compile_definitions(tqla_usbfs_pods PRIVATE
    TQLA_USBFS_TSAN_SUPPRESSIONS="${PROJECT_SOURCE_DIR}/tests/libusb/tsan.supp")
elseif(LIBUSB_FOUND)
  message(STATUS "umockdev not found: the libusb backend's emulated-pod tests and benchmark are left out "
                 "(install umockdev and libumockdev-dev)")
endif()
