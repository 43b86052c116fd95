#pragma once

#include <QString>

namespace TestSettings {

// Points every user-scope QSettings of this process, and the user's data
// folder of this process and its children (XDG_DATA_HOME), at a fresh private
// folder, so tests never read or clobber a technician's real settings or logs.
void isolate();

// Removes everything stored so far (the folder stays private).
void clear();

QString folder();

} // namespace TestSettings
