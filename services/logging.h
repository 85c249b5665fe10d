#ifndef VEXLOR_LOGGING_H
#define VEXLOR_LOGGING_H

// The program's diagnostic categories. Debug and info lines are off unless switched on, for
// example with QT_LOGGING_RULES="vexlor.extract.debug=true" or "vexlor.*.debug=true"; warnings
// of real failures are on. Users only ever see the program's own messages.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcStartup) // vexlor.startup: start-up and the home window
Q_DECLARE_LOGGING_CATEGORY(lcExtract) // vexlor.extract: the Extract page
Q_DECLARE_LOGGING_CATEGORY(lcCreate) // vexlor.create: the Create page
Q_DECLARE_LOGGING_CATEGORY(lcCopier) // vexlor.copier: the background copier
Q_DECLARE_LOGGING_CATEGORY(lcFiles) // vexlor.files: folders, files and the log
Q_DECLARE_LOGGING_CATEGORY(lcUi) // vexlor.ui: skinned windows and controls
Q_DECLARE_LOGGING_CATEGORY(lcModel) // vexlor.model: the content tree

#endif // VEXLOR_LOGGING_H
