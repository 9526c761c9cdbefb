#pragma once
// The scanner behind the main window's thumbnail tree kept in a known state, and the main
// window's scanner widgets kept in step with it. Each traps its failures and reports them.

// Opens the scanner settings dialog over the main window's page view.
void show_settings();
// Duplex ticked while the flatbed is the source switches the source to the feeder.
void setDuplex();
// The operator's preference defaults (only while a scanner is connected).
void reset_defaults();
// Switches the scanner's automatic page size on where it is offered (setting 5084).
void autoDetectPageSize();
// The overhead book scanner's presets.
void setBookSizeNormal();
void setBookSizeLarge();
