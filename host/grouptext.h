#pragma once
// Splits the four host group texts into fields and display lines, and files each group that has
// text in the group-position lists.
void do_load_grouptext_lines();
