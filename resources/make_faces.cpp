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

bool Write(const std::string& path, Rgb ink, const Shader& inside) {
  const std::uint32_t rowBytes = kSize * 3;  // 48: already a multiple of 4
  const std::uint32_t imageBytes = rowBytes * kSize;
  std::vector<std::uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, 54 + imageBytes);
  Put32(out, 0);
  Put32(out, 54);
  Put32(out, 40);
  Put32(out, kSize);
  Put32(out, kSize);
  Put16(out, 1);
  Put16(out, 24);
  Put32(out, 0);
  Put32(out, imageBytes);
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, 0);
  Put32(out, 0);
  for (int row = kSize - 1; row >= 0; --row) {  // bottom-up
    for (int col = 0; col < kSize; ++col) {
      Rgb c = inside(col + 0.5, row + 0.5) ? ink : kBack;
      out.push_back(c.b);
      out.push_back(c.g);
      out.push_back(c.r);
    }
  }
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  return static_cast<bool>(f);
}

bool Circle(double x, double y, double cx, double cy, double r) {
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_faces FOLDER\n");
    return 2;
  }
  const std::string dir = argv[1];
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
      return 1;
    }
  }
  return 0;
}
