#include "services/logging.h"

Q_LOGGING_CATEGORY(lcStartup, "vexlor.startup", QtWarningMsg)
Q_LOGGING_CATEGORY(lcExtract, "vexlor.extract", QtWarningMsg)
Q_LOGGING_CATEGORY(lcCreate, "vexlor.create", QtWarningMsg)
Q_LOGGING_CATEGORY(lcCopier, "vexlor.copier", QtWarningMsg)
Q_LOGGING_CATEGORY(lcFiles, "vexlor.files", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUi, "vexlor.ui", QtWarningMsg)
Q_LOGGING_CATEGORY(lcModel, "vexlor.model", QtWarningMsg)
