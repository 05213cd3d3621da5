#pragma once

// A detailed still scene with strong noise new in every frame, as a camera
// gives it, made by ffmpeg: a Mandelbrot picture rendered once and held, so
// that making it costs little. At 1080p the default MJPEG quality codes it
// in about 400 KB a frame.

#include <QString>

namespace kv::bench {

// The ffmpeg lavfi source (-f lavfi -i ...) of the scene.
inline QString detailedSceneFilter(int width, int height, int rate) {
    return QStringLiteral(
               "mandelbrot=s=%1x%2:r=%3,trim=end_frame=1,loop=loop=-1:size=1,setpts=N/%3/TB,"
               "noise=alls=20:allf=t")
        .arg(width)
        .arg(height)
        .arg(rate);
}

}  // namespace kv::bench
