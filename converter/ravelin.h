#pragma once
/* The HEX-to-binary converter library: its C exports. */
#ifdef __cplusplus
extern "C" {
#endif

/* Converts the Intel HEX file at hexPath into a flat binary at binPath.
   Returns non-zero on success, 0 on failure. */
int Ravelin(const char* hexPath, const char* binPath);

/* The text of the last message the calling thread's conversion produced ("" when none).
   Valid until the next conversion on the same thread. */
const char* RavelinLastMessage(void);

typedef int (*RavelinFunction)(const char* hexPath, const char* binPath);
typedef const char* (*RavelinLastMessageFunction)(void);

#ifdef __cplusplus
}
#endif
