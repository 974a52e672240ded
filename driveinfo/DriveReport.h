// The Disk Information report: one growable text, built when the dialog opens and emptied when
// it closes.
#pragma once

#include <string>

// Narrow (ANSI) text with CR LF line ends; empty except while the dialog is open.
extern std::string DriveReport;

void AppendToReport(const char* text);

// Empties the report and gives its storage back.
void ClearDriveReport();

// Fills the report from the drives the platform lets us reach and returns its text.
const char* BuildDriveReport();
