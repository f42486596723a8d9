#pragma once
// The three standard descriptors, made safe before anything else opens a file.

namespace platform {

/// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed. A program started with them
/// closed (by a daemon or a careless launcher) would otherwise hand them to its first files, and
/// its own messages would be written into an attachment. False when /dev/null could not be opened.
bool OpenClosedStandardDescriptors();

} // namespace platform
