// SPDX-License-Identifier: MIT
#pragma once
// Application-wide set-up shared by the program and its tests: title, icon,
// style.

namespace vantrel {

// Call once after the QApplication exists.
void initialiseApplication();

}  // namespace vantrel
