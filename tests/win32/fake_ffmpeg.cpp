// Stands in for ffmpeg.exe in the Windows suite: it writes into the file named by its last
// argument what reached it (each argument as the C runtime split them, the size of every input
// file it was given, and the number of bytes on its standard input) and exits with 0, or with
// the status in VELDRIN_FAKE_FFMPEG_EXIT at once, without reading anything.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (const char* status = std::getenv("VELDRIN_FAKE_FFMPEG_EXIT")) return std::atoi(status);
    if (argc < 2) return 2;
    std::string report;
    for (int i = 1; i < argc; ++i) {
        report += "arg:" + std::string(argv[i]) + "\n";
        if (i + 1 < argc && std::strcmp(argv[i], "-i") == 0 && std::strcmp(argv[i + 1], "pipe:0") != 0) {
            std::FILE* input = std::fopen(argv[i + 1], "rb");
            long size = -1;
            if (input != nullptr && std::fseek(input, 0, SEEK_END) == 0) size = std::ftell(input);
            if (input != nullptr) std::fclose(input);
            report += "input-size:" + std::to_string(size) + "\n";
        }
    }
    // Frames are binary: in the C runtime's text mode a 0x1A byte would end them early.
    _setmode(_fileno(stdin), _O_BINARY);
    unsigned long long bytes = 0;
    static char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) bytes += n;
    report += "stdin:" + std::to_string(bytes) + "\n";
    std::FILE* out = std::fopen(argv[argc - 1], "wb");
    if (out == nullptr) return 3;
    std::fputs(report.c_str(), out);
    return std::fclose(out) == 0 ? 0 : 3;
}
