#pragma once

namespace footview {

// Which foot a scan is of: the alignment, the measurements and the page all need it, so it lives
// below them.
enum class Side { Left, Right };

}  // namespace footview
