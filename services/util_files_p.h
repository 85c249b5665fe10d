#ifndef VEXLOR_UTIL_FILES_P_H
#define VEXLOR_UTIL_FILES_P_H

// Settings of Util::FileCopy that tests and benchmarks reach: the chunk size, and a hook run
// after every chunk (tests hold a copy between two chunks with it).

#include <QtGlobal>

namespace UtilFiles {

// Bytes read and written per chunk by Util::FileCopy.
int ChunkSize();
// Sets the chunk size; 0 or less restores the default.
void SetChunkSize(int bytes);

// Called on the copying thread after each chunk has been written and counted in
// Util::copyedsize, with the chunk's size. Null (the default) for none.
using ChunkHook = void (*)(qint64 bytes);
void SetChunkHook(ChunkHook hook);

} // namespace UtilFiles

#endif // VEXLOR_UTIL_FILES_P_H
