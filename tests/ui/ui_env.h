#pragma once
#include <QString>

// The environment every window test runs in: settings, temp, program and catalogue folders
// below one temporary folder; message boxes and modal forms answered by scripts.
QString testRoot();
