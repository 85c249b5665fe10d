#ifndef VEXLOR_CFILECOPY_P_H
#define VEXLOR_CFILECOPY_P_H

// A hook of the background copier for tests: run on the worker thread after a finished task has
// been taken off the list and the counter reset, before the next task is taken.

namespace CFileCopyHooks {

using TaskDoneHook = void (*)();
void SetTaskDoneHook(TaskDoneHook hook);

} // namespace CFileCopyHooks

#endif // VEXLOR_CFILECOPY_P_H
