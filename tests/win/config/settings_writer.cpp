// Rewrites keys of a settings file as fast as it can until it is killed (see settings_test.cpp).
#include <cstdlib>
#include <string>

#include "config/IniFile.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const int keys = std::atoi(argv[2]);
    for (unsigned n = 0;; ++n) {
        const std::string key = "Key" + std::to_string(static_cast<int>(n % static_cast<unsigned>(keys)));
        ini::WriteString(argv[1], "System", key.c_str(), (n / 7) % 2 ? "wwwwwwwwwwwwwwwwwwww" : "vvvvvvvvvvvvvvvvvvvv");
    }
}
