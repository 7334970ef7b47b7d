// The commands of the tqla tool. A command is one file (cmd_NAME.cpp) that
// defines its Run function, and one line in the table below.
#pragma once

namespace tqla::cli {

// Runs a command on the words after its name; returns the exit status.
// Failures are thrown as CliError (cli.h).
using CommandRun = int (*)(int argc, char** argv);

struct Command {
  const char* name;
  const char* summary;
  CommandRun run;
};

int RunDemo(int argc, char** argv);
int RunExport(int argc, char** argv);
int RunRender(int argc, char** argv);
int RunPackets(int argc, char** argv);
int RunList(int argc, char** argv);
int RunSelftest(int argc, char** argv);
int RunEeprom(int argc, char** argv);
int RunCapture(int argc, char** argv);
int RunStream(int argc, char** argv);
int RunDecode(int argc, char** argv);
int RunGenerate(int argc, char** argv);
int RunIo(int argc, char** argv);
int RunCount(int argc, char** argv);

inline constexpr Command kCommands[] = {
    {"demo", "capture a simulated pod's traffic, then export, draw and decode it", RunDemo},
    {"export", "convert a capture to VCD, CSV or text", RunExport},
    {"render", "draw a window of a capture as SVG", RunRender},
    {"packets", "check a protocol definition file or show a packet record file", RunPackets},
    {"capture", "capture from a pod with a trigger into a capture file", RunCapture},
    {"stream", "stream samples from a pod to a file without end", RunStream},
    {"list", "list the pods on the USB with their IDs and speed", RunList},
    {"selftest", "test the pods on the USB and print the report", RunSelftest},
    {"eeprom", "read or write the pod's EEPROM", RunEeprom},
    {"decode", "decode the bus traffic of a capture into timestamped records", RunDecode},
    {"generate", "play a pattern out of the pod's digital lines", RunGenerate},
    {"io", "set or read the levels of the pod's digital lines", RunIo},
    {"count", "count the edges on every digital channel", RunCount},
};

}  // namespace tqla::cli
