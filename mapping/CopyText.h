// Bounded copying of NUL-terminated text into fixed buffers: every text the
// plug-in copies (commands, the source name, card names, the settings path)
// goes through it. Whole command slots and tables are copied as bytes.
#pragma once

#include <stddef.h>

// Copies at most size-1 bytes of src (null reads as "") and always terminates
// dst; bytes after the terminator are left as they are.
inline void CopyText(char* dst, size_t size, const char* src)
{
    if (size == 0)
        return;
    if (!src)
        src = "";
    size_t i = 0;
    for (; i + 1 < size && src[i] != '\0'; ++i)
        dst[i] = src[i];
    dst[i] = '\0';
}
