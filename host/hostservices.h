#pragma once
// Plugs the host calls into the start-up, shutdown and dialog hooks of the other layers: the
// partner reload of start-up and of the settings dialog, the sign-off at shutdown, and the
// sign-on dialog's check. Call once at program start; calling again changes nothing.
void registerHostServices();
