#pragma once

// Style sheets the static page's files share.
namespace CCCVStyles {

inline constexpr const char *kSwOn = "QLabel {color: rgb(0, 255, 0);}";
inline constexpr const char *kSwOff = "QLabel {color: rgb(0, 0, 0);}";
inline constexpr const char *kImgOn = "border-image: url(:/CCCVImage/On.png);";
inline constexpr const char *kImgOff = "border-image: url(:/CCCVImage/Off.png);";

} // namespace CCCVStyles
