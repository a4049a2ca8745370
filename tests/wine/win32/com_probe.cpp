// com_probe COMn: opens a COM port the way the tool does (DCB 115200 8N1, time-outs), sends the
// HDLC-framed DIAG version request and prints the framed answer as hex on one line. Exit 0 when
// a whole frame (ending in the 0x7E flag) came back, 1 when the port could not be opened or set
// up, 2 when no whole frame arrived within the time-outs.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: com_probe COMn\n");
        return 1;
    }
    const std::string path = std::string("\\\\.\\") + argv[1];
    HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "CreateFile %s: error %lu\n", path.c_str(), GetLastError());
        return 1;
    }
    SetupComm(port, 4096, 4096);
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(port, &dcb)) {
        std::fprintf(stderr, "GetCommState: error %lu\n", GetLastError());
        return 1;
    }
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    if (!SetCommState(port, &dcb)) {
        std::fprintf(stderr, "SetCommState: error %lu\n", GetLastError());
        return 1;
    }
    // Wait up to 2 s for the first byte, then 100 ms between bytes.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 100;
    timeouts.ReadTotalTimeoutConstant = 2000;
    timeouts.WriteTotalTimeoutConstant = 2000;
    if (!SetCommTimeouts(port, &timeouts)) {
        std::fprintf(stderr, "SetCommTimeouts: error %lu\n", GetLastError());
        return 1;
    }
    PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    const unsigned char request[] = {0x00, 0x78, 0xF0, 0x7E};  // version request, CRC, flag
    DWORD written = 0;
    if (!WriteFile(port, request, sizeof(request), &written, nullptr) || written != sizeof(request)) {
        std::fprintf(stderr, "WriteFile: error %lu (%lu written)\n", GetLastError(), written);
        return 1;
    }
    std::vector<unsigned char> answer;
    for (int reads = 0; reads < 20 && (answer.empty() || answer.back() != 0x7E); ++reads) {
        unsigned char chunk[256];
        DWORD got = 0;
        if (!ReadFile(port, chunk, sizeof(chunk), &got, nullptr)) {
            std::fprintf(stderr, "ReadFile: error %lu\n", GetLastError());
            break;
        }
        if (got == 0) break;
        answer.insert(answer.end(), chunk, chunk + got);
    }
    CloseHandle(port);
    for (size_t i = 0; i < answer.size(); ++i) std::printf("%s%02X", i ? " " : "", answer[i]);
    std::printf("\n");
    return !answer.empty() && answer.back() == 0x7E ? 0 : 2;
}
