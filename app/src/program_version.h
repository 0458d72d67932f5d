#pragma once
#include <QString>
#include <QStringList>

namespace qvr::app {

// The program's version as four numbers joined by "." (major, minor, release, build).
inline QString ProgramVersion() {
  QStringList parts = QStringLiteral(QVR_VERSION).split(QLatin1Char('.'));
  while (parts.size() < 4) parts.append(QStringLiteral("0"));
  return parts.mid(0, 4).join(QLatin1Char('.'));
}

}  // namespace qvr::app
