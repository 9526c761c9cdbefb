#pragma once
// Plugs the host calls into the start-up and shutdown hooks of the core: the partner list at
// the end of start-up and the sign-off at shutdown. Call once at program start.
void registerHostServices();
