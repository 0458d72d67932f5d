#pragma once
// Diagnostics of the application shell on stderr. Warnings show by default;
// QT_LOGGING_RULES="qvr.app.info=true" shows the log lines and start-up steps too.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcApp)
