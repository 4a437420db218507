// The view in a web address: the fragment after "#" is one scene line in the
// keys of a scene file, "&" between its fields and every value URL-encoded
// (UTF-8), for example
//   T=MANDEL&Cr=-0.75&Ci=0.1&W=0.01&I=2000&DM=3&MCF=fire
// It is read by the same reader as the lines of a scene file, so that a link
// opens exactly the picture the scene line gives.
#pragma once

#include <string>
#include <string_view>

#include "scene/URecommendation.h"

namespace nimbrel {

// The title a scene line of a link gets when the link names none (a scene
// line needs one); a link written for such a scene leaves it out again.
inline constexpr std::string_view kLinkTitle = "link";

// The longest fragment a link may have: room for views with thousands of
// digits, far below what would take the reader long.
inline constexpr std::size_t kMaxLinkBytes = 64 * 1024;

// The scene line of Fragment (with or without its "#"): "T=..." first, the
// other fields in the fragment's order, values in code page 932, no line end.
// A fragment that is no such line raises EConvertError with the reason: a
// field without "=", an unknown or repeated key, no or a bad "T", a bad
// escape, a value that is no UTF-8 or that a scene line cannot hold (a comma,
// a control character, a character without a code in code page 932), a
// fragment longer than kMaxLinkBytes.
std::string SceneLineOfLink(std::string_view Fragment);

// The scene of Fragment as a list of that one scene, read by the scene
// reader; a fragment it refuses raises EConvertError with the reader's
// message.
TRecommendationList ParseViewLink(std::string_view Fragment);

// The fragment (without "#") of a scene line as FormatRecommendation writes
// it (code page 932): its fields in their order, "&" between them, every
// value decoded and URL-encoded, the title left out when it is kLinkTitle.
// EConvertError for a line that is no scene line.
std::string LinkOfSceneLine(std::string_view Line);

// The fragment of a scene: LinkOfSceneLine(FormatRecommendation(Entry)).
std::string FormatViewLink(const TRecommendation& Entry);

}  // namespace nimbrel
