#pragma once
// Customer state and database mode on the main window.
#include <QtGlobal>

// Shows only the customer's Database menu entries; with selectDefault selects its default mode
// (the reference customer's mode is selected in any case).
void setState(const qint16 &state, bool selectDefault);
// Makes mode current: its frame, the document-type selector, the menu tick, then one reset.
void set_g_dbMode(qint16 mode);
// Records mode in g_dbMode and sets the tab order of its index fields.
void set_taborder(qint16 mode);
