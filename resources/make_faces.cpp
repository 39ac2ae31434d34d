// Draws the button faces into 16x16 24-bit bitmap files, so that the faces
// are ours and the build needs no binary assets.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Rgb {
  std::uint8_t r, g, b;
};
constexpr int kSize = 16;
constexpr Rgb kBack{192, 192, 192};  // the bar's grey, so the face blends in

using Shader = std::function<bool(double x, double y)>;  // pixel centres, 0..16

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(v & 0xff);
  out.push_back((v >> 8) & 0xff);
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xffff);
  Put16(out, v >> 16);
}

using Painter = std::function<Rgb(double x, double y)>;

bool WriteBitmap(const std::string& path, int width, int height, const Painter& paint) {
  const std::uint32_t rowBytes = (width * 3 + 3) / 4 * 4;
  const std::uint32_t imageBytes = rowBytes * height;
  std::vector<std::uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, 54 + imageBytes);
  Put32(out, 0);
  Put32(out, 54);
  Put32(out, 40);
  Put32(out, width);
  Put32(out, height);
  Put16(out, 1);
  Put16(out, 24);
  Put32(out, 0);
  Put32(out, imageBytes);
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, 0);
  Put32(out, 0);
  for (int row = height - 1; row >= 0; --row) {  // bottom-up
    for (int col = 0; col < width; ++col) {
      Rgb c = paint(col + 0.5, row + 0.5);
      out.push_back(c.b);
      out.push_back(c.g);
      out.push_back(c.r);
    }
    for (std::uint32_t pad = width * 3; pad < rowBytes; ++pad) out.push_back(0);
  }
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  return static_cast<bool>(f);
}

bool Write(const std::string& path, Rgb ink, const Shader& inside) {
  return WriteBitmap(path, kSize, kSize,
                     [&](double x, double y) { return inside(x, y) ? ink : kBack; });
}

bool Circle(double x, double y, double cx, double cy, double r) {
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

// The button faces, 16 by 16: a shape in one ink on the button's grey.
bool WriteFaces(const std::string& dir) {
  struct Face {
    const char* name;
    Rgb ink;
    Shader inside;
  };
  const Face faces[] = {
      // A speech bubble with a tail.
      {"Sonvera.bmp",
       {0, 96, 160},
       [](double x, double y) {
         bool bubble = std::pow((x - 8) / 6.5, 2) + std::pow((y - 6.5) / 4.5, 2) <= 1;
         bool tail = y > 9 && y < 14.5 && x > 3 && x < 7 && (x - 3) > (y - 9) * 0.6;
         return bubble || tail;
       }},
      {"RecordButton.bmp", {200, 0, 0}, [](double x, double y) { return Circle(x, y, 8, 8, 5.5); }},
      {"PauseButton.bmp",
       {0, 0, 128},
       [](double x, double y) {
         return y > 3 && y < 13 && ((x > 4 && x < 7) || (x > 9 && x < 12));
       }},
      {"PlayButton.bmp",
       {0, 128, 0},
       [](double x, double y) { return x > 4 && x < 13 && std::fabs(y - 8) < (13 - x) * 0.6; }},
      {"StopButton.bmp",
       {0, 0, 0},
       [](double x, double y) { return x > 4 && x < 12 && y > 4 && y < 12; }},
      {"DeleteButton.bmp",
       {160, 0, 0},
       [](double x, double y) {
         bool inBox = x > 3 && x < 13 && y > 3 && y < 13;
         return inBox && (std::fabs(x - y) < 1.2 || std::fabs(x + y - 16) < 1.2);
       }},
      {"PropertiesButton.bmp",
       {64, 64, 64},
       [](double x, double y) {
         bool dot = Circle(x, y, 8, 4, 1.5);
         bool stem = x > 7 && x < 9 && y > 6.5 && y < 13;
         return dot || stem;
       }},
  };
  for (const Face& face : faces) {
    if (!Write(dir + "/" + face.name, face.ink, face.inside)) {
      std::fprintf(stderr, "make_faces: cannot write %s/%s\n", dir.c_str(), face.name);
      return false;
    }
  }
  return true;
}

// The meter's level bars: 4 pixels wide, 4 + 3k high, grey-blue, lighter
// towards the top.
bool WriteLevelBars(const std::string& dir) {
  for (int k = 0; k < 8; ++k) {
    const int height = 4 + 3 * k;
    const std::string name = dir + "/S" + std::to_string(k + 1) + ".bmp";
    if (!WriteBitmap(name, 4, height, [&](double, double y) {
          const auto shade = static_cast<std::uint8_t>(150 - 60 * y / height);
          return Rgb{static_cast<std::uint8_t>(shade - 30), static_cast<std::uint8_t>(shade - 10),
                     static_cast<std::uint8_t>(shade + 40)};
        })) {
      std::fprintf(stderr, "make_faces: cannot write %s\n", name.c_str());
      return false;
    }
  }
  return true;
}

// Backgrounds of the meter strip and of the dialog.
bool WriteBackgrounds(const std::string& dir) {
  const bool backgrounds = WriteBitmap(dir + "/Meter.bmp", 138, 25,
                                       [](double x, double) {
                                         return x < 104 ? Rgb{236, 240, 246} : Rgb{250, 250, 252};
                                       }) &&
                           WriteBitmap(dir + "/Banner.bmp", 169, 65, [](double x, double y) {
                             const bool bubble =
                                 std::pow((x - 32) / 24, 2) + std::pow((y - 30) / 16, 2) <= 1;
                             return bubble ? Rgb{0, 96, 160} : Rgb{255, 255, 255};
                           });
  if (!backgrounds) {
    std::fprintf(stderr, "make_faces: cannot write the backgrounds in %s\n", dir.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_faces FOLDER\n");
    return 2;
  }
  const std::string dir = argv[1];
  return WriteFaces(dir) && WriteLevelBars(dir) && WriteBackgrounds(dir) ? 0 : 1;
}
