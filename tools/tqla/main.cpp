#include "cli.h"

int main(int argc, char** argv) { return tqla::cli::Main(argc, argv); }
