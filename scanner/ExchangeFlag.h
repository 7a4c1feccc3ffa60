#pragma once

namespace scanner {

// The process-wide copy of the scanner flag that the scanner settings window
// edits while the administration window is open: the main window fills it
// before and takes it back afterwards. UI thread only.
bool &ScanerIspolzovanieObmen();

} // namespace scanner
