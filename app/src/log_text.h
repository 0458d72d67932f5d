#pragma once
// Texts of the log panel: help link addresses and their encoding.

#include <QString>

namespace qvr::app {

// Blank, "*", "#", "%", "<", ">" and characters from code 128 on become
// "%" and two upper-case hexadecimal digits (UTF-8 bytes for the latter).
QString EncodeUrlText(const QString& text);

// The help page address for a problem code of a kind (0 general, 1 data writing, 2 audio, 3 erasing).
QString HelpAddress(const QString& code, int kind);

// The web address a log link leads to: links of the form "qvrlink://ADDRESS"
// give ADDRESS; empty for "about:blank".
QString LogLinkTarget(const QString& link);

// A plain address gets the HTTP scheme in front.
QString WebAddressOf(const QString& address);

}  // namespace qvr::app
