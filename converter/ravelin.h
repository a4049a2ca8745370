#pragma once
/* The HEX-to-binary converter library: its C exports. */
#ifdef __cplusplus
extern "C" {
#endif

/* Converts the Intel HEX file at hexPath into a flat binary at binPath.
   Returns non-zero on success, 0 on failure. */
int Ravelin(const char* hexPath, const char* binPath);

/* The text of the last message a conversion produced ("" when none).
   Valid until the next conversion; a caller that converts from several threads serialises
   each conversion with its read of this message. */
const char* RavelinLastMessage(void);

typedef int (*RavelinFunction)(const char* hexPath, const char* binPath);
typedef const char* (*RavelinLastMessageFunction)(void);

#ifdef __cplusplus
}
#endif
