#pragma once
// Cover-page data of the current document, and its thirty lines split into code and text.
class AdoConnection;

bool IM656R(AdoConnection &conn);
void do_load_coverpage_lines();
