#pragma once
// File names that differ between the systems, as literals so tables can hold them: Windows
// programs end in ".exe" and its libraries in ".dll"; the Linux names are the bare program
// name and "lib<name>.so".
#ifdef _WIN32
#define FLINTCAST_NATIVE_NAME(linuxName, windowsName) windowsName
#else
#define FLINTCAST_NATIVE_NAME(linuxName, windowsName) linuxName
#endif
