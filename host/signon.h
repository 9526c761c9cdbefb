#pragma once
// Operator sign-on: the gate every host road passes, and the host's check of a user and password.
#include <QString>

// True when an operator is signed on; otherwise shows the sign-on dialog over the main window
// and returns whether it signed someone on. While the dialog is already showing it returns
// False at once.
bool ensureLoggedIn();

// Checks the pair with host program SY983R over a connection of its own. A host refusal shows
// the host's text; a failed call reports the error, says so and opens the settings dialog.
bool SY983R(const QString &userId, const QString &password);
