// Start-up of the desktop program, shared by main() and the tests.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

namespace app {

// What the command line asks for before any window exists.
struct TCommandLine {
  enum class Action { Run, Help, Version, UsageError } What = Action::Run;
  QStringList Files;    // the first one is opened
  std::string Message;  // the usage error's one line
};
TCommandLine ParseCommandLine(const QStringList& arguments);
std::string UsageText();
std::string VersionText();

// A command-line argument as a file name. Qt spells file names in UTF-8 only,
// so a name in another encoding (a Latin-1 "M\xfcller") cannot be opened:
// `exact` tells whether the name reads back as the bytes given.
QString ArgumentFileName(const QByteArray& raw, bool& exact);
// The warning shown for such a name.
QString UnspelledNameMessage(const QString& name);

// Sets the application's title and icon, lets the file service draw metafiles
// and routes the image library's questions to message boxes (asked on the
// user-interface thread).
void InitialiseApplication();

}  // namespace app
