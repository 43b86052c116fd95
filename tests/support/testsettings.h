#pragma once

#include <QString>

namespace TestSettings {

// Points every user-scope QSettings of this process at a fresh private folder,
// so tests never read or clobber a technician's real settings.
void isolate();

// Removes everything stored so far (the folder stays private).
void clear();

QString folder();

} // namespace TestSettings
