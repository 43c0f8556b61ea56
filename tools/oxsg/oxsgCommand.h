#pragma once
// Subcommands of the oxsg program. Each lives in its own file and registers itself:
//
//   static int runPrint(int argc, char** argv);
//   OXSG_COMMAND(print, "print FILE", "print a scene file's graph", runPrint)
//
// argv[0] is the subcommand's name. A command returns the process exit status; errors are
// one line on standard error.

namespace oxsg {

struct Command {
    const char* name;
    const char* usage;
    const char* summary;
    int (*run)(int argc, char** argv);
};

bool registerCommand(const Command& command);

} // namespace oxsg

#define OXSG_COMMAND(name, usage, summary, fn) \
    static const bool oxsgRegistered_##name = ::oxsg::registerCommand({#name, usage, summary, fn});
