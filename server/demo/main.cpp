// export-pnl-server: builds and inspects embedded server folders for the demo.
//   export-pnl-server create-demo DIR [--shipments N] [--seed S] [--clock "YYYY-MM-DD HH:MM:SS"]
//   export-pnl-server report DIR
//   export-pnl-server summary DIR
#include "server/demo/demobuilder.h"
#include "server/demo/demoreport.h"
#include "server/server.h"

#include <cstring>
#include <iostream>
#include <string>

namespace {

int usage(std::ostream& out, int code) {
    out << "usage:\n"
           "  export-pnl-server create-demo DIR [--shipments N] [--seed S] "
           "[--clock \"YYYY-MM-DD HH:MM:SS\"]\n"
           "      builds a demo server folder DIR (which must be missing or empty) with the\n"
           "      databases Calvesteri, Miskernel and Pubdict; N defaults to 3000 shipments.\n"
           "      --clock fixes the server's date and time (server.ini); otherwise real time.\n"
           "  export-pnl-server report DIR\n"
           "      lists the databases and row counts, then prints the statement of the latest\n"
           "      month with shipments for the whole company.\n"
           "  export-pnl-server summary DIR\n"
           "      the same in a few lines: databases, shipments, the month, its row count\n"
           "      and totals.\n";
    return code;
}

long long number(const char* option, const char* text) {
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (!*text || *end)
        throw server::Error(std::string(option) + " needs a whole number, not '" + text + "'");
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usage(std::cerr, 2);
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help")
        return usage(std::cout, 0);
    try {
        if (command == "create-demo" && argc >= 3) {
            demo::DemoOptions options;
            for (int i = 3; i < argc; ++i) {
                const bool hasValue = i + 1 < argc;
                if (!std::strcmp(argv[i], "--shipments") && hasValue)
                    options.shipments = static_cast<int>(number("--shipments", argv[++i]));
                else if (!std::strcmp(argv[i], "--seed") && hasValue)
                    options.seed = static_cast<std::uint64_t>(number("--seed", argv[++i]));
                else if (!std::strcmp(argv[i], "--clock") && hasValue)
                    options.clock = argv[++i];
                else
                    return usage(std::cerr, 2);
            }
            demo::DemoBuilder(options).build(argv[2]);
            std::cout << "Demo server created in " << argv[2] << " (" << options.shipments
                      << " shipments, seed " << options.seed << ")\n";
            return 0;
        }
        if (command == "report" && argc == 3) {
            demo::DemoReport::print(argv[2], std::cout);
            return 0;
        }
        if (command == "summary" && argc == 3) {
            demo::DemoReport::summary(argv[2], std::cout);
            return 0;
        }
    } catch (const std::exception& e) {
        std::cerr << "export-pnl-server: " << e.what() << "\n";
        return 1;
    }
    return usage(std::cerr, 2);
}
