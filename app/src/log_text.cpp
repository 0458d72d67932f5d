#include "log_text.h"

namespace qvr::app {

namespace {
constexpr const char* kHelpBase = "https://help.quorvella.org/dynamic/common/cgi-bin/d.exe";
}

QString EncodeUrlText(const QString& text) {
  QString encoded;
  for (const char byte : text.toUtf8()) {
    const auto code = static_cast<unsigned char>(byte);
    if (code == ' ' || code == '*' || code == '#' || code == '%' || code == '<' || code == '>' || code >= 128) {
      encoded += QStringLiteral("%%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
    } else {
      encoded += QLatin1Char(byte);
    }
  }
  return encoded;
}

QString HelpAddress(const QString& code, int kind) {
  static const char* const kTails[] = {
      "&s_fo=1&s_newsf=38&s_objt=1&htm=errors\\general\\found.htm&nrhtm=errors\\general\\notfound.htm",
      "&s_fo=1&s_newsf=36&s_objt=1&htm=errors\\data\\found.htm&nrhtm=errors\\data\\notfound.htm",
      "&s_fo=1&s_newsf=37&s_objt=1&htm=errors\\audio\\found.htm&nrhtm=errors\\audio\\notfound.htm",
      "&s_fo=1&s_newsf=50&s_objt=1&htm=errors\\erase\\found.htm&nrhtm=errors\\erase\\notfound.htm",
  };
  const char* tail = kind >= 1 && kind <= 3 ? kTails[kind] : kTails[0];
  return QLatin1String(kHelpBase) + QStringLiteral("?cmd=so&session=4&s_yesno_any_and_1001100010=") +
         EncodeUrlText(code.trimmed()) + QLatin1String(tail);
}

QString LogLinkTarget(const QString& link) {
  if (link.compare(QStringLiteral("about:blank"), Qt::CaseInsensitive) == 0) return {};
  if (link.startsWith(QStringLiteral("qvrlink://"), Qt::CaseInsensitive)) return link.mid(10);
  return link;
}

QString WebAddressOf(const QString& address) {
  return address.contains(QStringLiteral("://")) ? address : QStringLiteral("http://") + address;
}

}  // namespace qvr::app
