#pragma once

#include "clioptions.h"

#include <QString>

// Works through a list of addresses on one line: the boards one after
// another (a shared line carries one exchange at a time), each as a run of
// its own, then a summary. Without --keep-going the first failure ends the
// list. The exit code is the worst one met (the highest number).
class BoardList
{
public:
    explicit BoardList(const CliOptions& options);

    int run();

    // "ok", "no reply", ... for an exit code; "skipped" for a board not tried.
    static QString outcomeText(int exitCode);

private:
    CliOptions options;
};
