/* A host program in plain C that finds the installed library with CMake or
 * pkg-config, makes a buffer, fills it and reads a sample back. */
#include <stdio.h>
#include <tqla/tqla.h>
#include <tqla/tqla_ext.h>

int main(void) {
  uint32_t* buffer = MakeBuffer(65536);
  if (!buffer) return 1;
  DemoData();
  int32_t marker = LoggedData(65535);
  DeleteBuffer(buffer);
  printf("marker %d\n", (int)marker);
  return marker == 128 ? 0 : 1;
}
