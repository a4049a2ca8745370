// Test helper: prints each argument it was given as hexadecimal bytes, one per line, so the
// test sees exactly what the C runtime made of the command line.
#include <cstdio>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        for (const char* c = argv[i]; *c != '\0'; ++c) std::printf("%02x", static_cast<unsigned char>(*c));
        std::printf("\n");
    }
    return argc - 1;
}
