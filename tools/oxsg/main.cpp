#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/oxsg/oxsgCommand.h"

namespace oxsg {

static std::vector<Command>& commands()
{
    static std::vector<Command> list;
    return list;
}

bool registerCommand(const Command& command)
{
    commands().push_back(command);
    return true;
}

} // namespace oxsg

static void usage(FILE* out)
{
    std::fprintf(out, "usage: oxsg COMMAND [ARGS]\n\ncommands:\n");
    for (const oxsg::Command& c : oxsg::commands())
        std::fprintf(out, "  %-40s %s\n", c.usage, c.summary);
}

int main(int argc, char** argv)
{
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "help")) {
        usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    for (const oxsg::Command& c : oxsg::commands())
        if (!std::strcmp(c.name, argv[1]))
            return c.run(argc - 1, argv + 1);
    std::fprintf(stderr, "oxsg: unknown command '%s' (try 'oxsg help')\n", argv[1]);
    return 2;
}
