// assetgen_preview: a tiny headless viewer for checking the data set by eye.
//
//   assetgen_preview mesh FILE.sx OUT.png [TEXTURE.bmp]   four views of a mesh, flat Lambert
//   assetgen_preview views DATA_DIR OUT.png               ship and blade from the four
//                                                         placements of View.dat
//   assetgen_preview bmp FILE.bmp OUT.png [SCALE]         a 24-bit BMP as PNG
//   assetgen_preview jpeg FILE.jpg OUT.png                a JPEG (the title picture) as PNG
//
// Triangles are culled as Direct3D's default CULL_CCW does (only those that run clockwise
// on screen are drawn), so a mesh wound the wrong way shows up hollow.
// clang-format off
// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
#include <png.h>
// clang-format on

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct V3 {
  double x = 0, y = 0, z = 0;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V3 Unit(V3 v) {
  const double l = std::sqrt(Dot(v, v));
  return l > 0 ? v * (1 / l) : v;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot open " + path);
  return {std::istreambuf_iterator<char>(f), {}};
}
uint32_t U16(const std::vector<uint8_t>& b, size_t o) { return b.at(o) | (b.at(o + 1) << 8); }
uint32_t U32(const std::vector<uint8_t>& b, size_t o) { return U16(b, o) | (U16(b, o + 2) << 16); }
float F32(const std::vector<uint8_t>& b, size_t o) {
  const uint32_t u = U32(b, o);
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}

struct Vertex {
  V3 p, n;
  uint32_t colour;
  double u, v;
};
struct Mesh {
  std::vector<Vertex> v;
  std::vector<uint16_t> idx;
};

Mesh LoadSx(const std::string& path) {
  const auto b = ReadAll(path);
  if (b.size() < 256 || std::memcmp(b.data(), "Simplified_X00  ", 16) != 0)
    throw std::runtime_error("not a version-0 sx file");
  Mesh m;
  const uint32_t nv = U16(b, 16), ni = U16(b, 18);
  if (b.size() < 256 + nv * 40 + ni * 2) throw std::runtime_error("sx file too short");
  for (uint32_t i = 0; i < nv; ++i) {
    const size_t o = 256 + i * 40;
    m.v.push_back({{F32(b, o), F32(b, o + 4), F32(b, o + 8)},
                   {F32(b, o + 12), F32(b, o + 16), F32(b, o + 20)},
                   U32(b, o + 24),
                   F32(b, o + 32),
                   F32(b, o + 36)});
  }
  for (uint32_t i = 0; i < ni; ++i) {
    const uint32_t k = U16(b, 256 + nv * 40 + i * 2);
    if (k >= nv) throw std::runtime_error("index out of range");
    m.idx.push_back(static_cast<uint16_t>(k));
  }
  return m;
}

struct Picture {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;  // top row first
  std::array<uint8_t, 3> At(int x, int y) const {
    const size_t o = (static_cast<size_t>(y) * w + x) * 3;
    return {rgb[o], rgb[o + 1], rgb[o + 2]};
  }
};

Picture LoadBmp24(const std::string& path) {
  const auto b = ReadAll(path);
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || U16(b, 28) != 24) throw std::runtime_error("not a 24-bit BMP");
  Picture p;
  p.w = static_cast<int>(U32(b, 18));
  p.h = static_cast<int>(U32(b, 22));
  const size_t off = U32(b, 10), row = (static_cast<size_t>(p.w) * 3 + 3) & ~size_t{3};
  if (p.w <= 0 || p.h <= 0 || b.size() < off + row * p.h) throw std::runtime_error("BMP too short");
  p.rgb.resize(static_cast<size_t>(p.w) * p.h * 3);
  for (int y = 0; y < p.h; ++y)
    for (int x = 0; x < p.w; ++x) {
      const size_t s = off + (p.h - 1 - y) * row + x * 3;
      const size_t d = (static_cast<size_t>(y) * p.w + x) * 3;
      p.rgb[d] = b[s + 2];
      p.rgb[d + 1] = b[s + 1];
      p.rgb[d + 2] = b[s];
    }
  return p;
}

void SavePng(const std::string& path, const Picture& p) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    throw std::runtime_error("png write failed");
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, p.w, p.h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < p.h; ++y) png_write_row(png, const_cast<png_bytep>(&p.rgb[static_cast<size_t>(y) * p.w * 3]));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

// A camera in world space: rows x, y, z (z looks forward) and the eye.
struct Camera {
  V3 x, y, z, eye;
  static Camera LookAt(V3 eye, V3 at) {
    Camera c;
    c.eye = eye;
    c.z = Unit(at - eye);
    V3 up{0, 1, 0};
    if (std::fabs(Dot(up, c.z)) > 0.99) up = {0, 0, 1};
    c.x = Unit(Cross(up, c.z));
    c.y = Cross(c.z, c.x);
    return c;
  }
};

// Draws a mesh with a model transform (rows r0..r2, offset t) into a panel of the picture.
struct Model {
  const Mesh* mesh;
  V3 r0{1, 0, 0}, r1{0, 1, 0}, r2{0, 0, 1}, t{};
  const Picture* texture = nullptr;
};

void Draw(Picture& pic, std::vector<double>& depth, int px, int py, int pw, int ph, const Camera& cam,
          const std::vector<Model>& models) {
  const double m22 = 1.0 / std::tan(0.7853982 / 2), m11 = m22 * ph / pw;
  const V3 light = Unit({0.5, 0.8, -0.4});  // towards the light, in camera space
  for (const Model& md : models) {
    const Mesh& m = *md.mesh;
    for (size_t i = 0; i + 2 < m.idx.size(); i += 3) {
      V3 vs[3], sc[3];
      V3 n{};
      double u[3], v[3];
      uint32_t col[3];
      bool clip = false;
      for (int k = 0; k < 3; ++k) {
        const Vertex& vx = m.v[m.idx[i + k]];
        const V3 w = md.r0 * vx.p.x + md.r1 * vx.p.y + md.r2 * vx.p.z + md.t;
        const V3 d = w - cam.eye;
        vs[k] = {Dot(d, cam.x), Dot(d, cam.y), Dot(d, cam.z)};
        if (vs[k].z < 0.5) clip = true;
        sc[k] = {px + (vs[k].x * m11 / vs[k].z + 1) * 0.5 * pw, py + (1 - vs[k].y * m22 / vs[k].z) * 0.5 * ph, vs[k].z};
        const V3 wn = md.r0 * vx.n.x + md.r1 * vx.n.y + md.r2 * vx.n.z;
        n = n + V3{Dot(wn, cam.x), Dot(wn, cam.y), Dot(wn, cam.z)};
        u[k] = vx.u;
        v[k] = vx.v;
        col[k] = vx.colour;
      }
      if (clip) continue;
      // Screen area with y down: positive means clockwise on screen, the kept side.
      const double area = (sc[1].x - sc[0].x) * (sc[2].y - sc[0].y) - (sc[2].x - sc[0].x) * (sc[1].y - sc[0].y);
      if (area <= 0) continue;
      n = Unit(n);
      const double lit = 0.22 + 0.78 * std::max(0.0, Dot(n, light));
      double cr = 0, cg = 0, cb = 0;
      for (int k = 0; k < 3; ++k) {
        cr += ((col[k] >> 16) & 255) / 765.0;
        cg += ((col[k] >> 8) & 255) / 765.0;
        cb += (col[k] & 255) / 765.0;
      }
      const int x0 = std::max(px, static_cast<int>(std::floor(std::min({sc[0].x, sc[1].x, sc[2].x}))));
      const int x1 = std::min(px + pw - 1, static_cast<int>(std::ceil(std::max({sc[0].x, sc[1].x, sc[2].x}))));
      const int y0 = std::max(py, static_cast<int>(std::floor(std::min({sc[0].y, sc[1].y, sc[2].y}))));
      const int y1 = std::min(py + ph - 1, static_cast<int>(std::ceil(std::max({sc[0].y, sc[1].y, sc[2].y}))));
      for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
          const double qx = x + 0.5, qy = y + 0.5;
          const double w0 = ((sc[1].x - qx) * (sc[2].y - qy) - (sc[2].x - qx) * (sc[1].y - qy)) / area;
          const double w1 = ((sc[2].x - qx) * (sc[0].y - qy) - (sc[0].x - qx) * (sc[2].y - qy)) / area;
          const double w2 = 1 - w0 - w1;
          if (w0 < 0 || w1 < 0 || w2 < 0) continue;
          // Perspective-correct depth and texture coordinates.
          const double iz = w0 / sc[0].z + w1 / sc[1].z + w2 / sc[2].z;
          const double z = 1 / iz;
          double& dz = depth[static_cast<size_t>(y) * pic.w + x];
          if (z >= dz) continue;
          dz = z;
          double tr = 1, tg = 1, tb = 1;
          if (md.texture) {
            double tu = (w0 * u[0] / sc[0].z + w1 * u[1] / sc[1].z + w2 * u[2] / sc[2].z) * z;
            double tv = (w0 * v[0] / sc[0].z + w1 * v[1] / sc[1].z + w2 * v[2] / sc[2].z) * z;
            tu -= std::floor(tu);
            tv -= std::floor(tv);
            const auto t = md.texture->At(std::min(md.texture->w - 1, static_cast<int>(tu * md.texture->w)),
                                          std::min(md.texture->h - 1, static_cast<int>(tv * md.texture->h)));
            tr = t[0] / 255.0, tg = t[1] / 255.0, tb = t[2] / 255.0;
          }
          const size_t o = (static_cast<size_t>(y) * pic.w + x) * 3;
          pic.rgb[o] = static_cast<uint8_t>(std::min(255.0, cr * tr * lit * 255));
          pic.rgb[o + 1] = static_cast<uint8_t>(std::min(255.0, cg * tg * lit * 255));
          pic.rgb[o + 2] = static_cast<uint8_t>(std::min(255.0, cb * tb * lit * 255));
        }
    }
  }
}

Picture Blank(int w, int h, std::vector<double>& depth) {
  Picture p;
  p.w = w;
  p.h = h;
  p.rgb.assign(static_cast<size_t>(w) * h * 3, 0);
  for (size_t i = 0; i < p.rgb.size(); i += 3) p.rgb[i + 2] = 40;  // dark blue, so black parts show
  depth.assign(static_cast<size_t>(w) * h, 1e30);
  return p;
}

int MeshViews(const std::string& sx, const std::string& out, const std::string& tex) {
  const Mesh m = LoadSx(sx);
  Picture texture;
  if (!tex.empty()) texture = LoadBmp24(tex);
  V3 lo{1e30, 1e30, 1e30}, hi{-1e30, -1e30, -1e30};
  for (const Vertex& v : m.v) {
    lo = {std::min(lo.x, v.p.x), std::min(lo.y, v.p.y), std::min(lo.z, v.p.z)};
    hi = {std::max(hi.x, v.p.x), std::max(hi.y, v.p.y), std::max(hi.z, v.p.z)};
  }
  const V3 c = (lo + hi) * 0.5;
  const double r = std::sqrt(Dot(hi - lo, hi - lo)) * 0.5;
  const double dist = r / std::sin(0.7853982 / 2) * 0.95;
  std::vector<double> depth;
  Picture pic = Blank(640, 480, depth);
  // Front-left above, rear-right above, right side, from above; "front" is -Z.
  const V3 dirs[4] = {Unit({-0.6, 0.5, -0.8}), Unit({0.6, 0.45, 0.8}), {1, 0.05, 0}, Unit({0.05, 1, 0.3})};
  for (int k = 0; k < 4; ++k) {
    Model md{&m};
    if (!tex.empty()) md.texture = &texture;
    Draw(pic, depth, (k % 2) * 320, (k / 2) * 240, 320, 240, Camera::LookAt(c + dirs[k] * dist, c), {md});
  }
  SavePng(out, pic);
  std::printf("%s: %zu vertices, %zu triangles, bounds (%.2f %.2f %.2f)..(%.2f %.2f %.2f)\n", sx.c_str(), m.v.size(),
              m.idx.size() / 3, lo.x, lo.y, lo.z, hi.x, hi.y, hi.z);
  return 0;
}

// The ship with its blade at rest, seen through the four camera placements of View.dat
// (each a row-vector matrix of the camera relative to the ship).
int Views(const std::string& dir, const std::string& out) {
  const Mesh ship = LoadSx(dir + "/dotai.sx"), blade = LoadSx(dir + "/nata.sx");
  std::ifstream f(dir + "/View.dat");
  std::string line;
  std::vector<double> depth;
  Picture pic = Blank(640, 480, depth);
  for (int k = 0; k < 4 && std::getline(f, line); ++k) {
    std::replace(line.begin(), line.end(), ',', ' ');
    std::istringstream s(line);
    double m[16] = {};
    for (double& v : m) s >> v;
    Camera cam;
    cam.x = {m[0], m[1], m[2]};
    cam.y = {m[4], m[5], m[6]};
    cam.z = {m[8], m[9], m[10]};
    cam.eye = {m[12], m[13], m[14]};
    Model s0{&ship};
    // The blade at rest: a quarter turn about x (mesh +y along the nose, mesh +z up).
    Model b0{&blade, {1, 0, 0}, {0, 0, -1}, {0, 1, 0}, {}};
    Draw(pic, depth, (k % 2) * 320, (k / 2) * 240, 320, 240, cam, {s0, b0});
  }
  SavePng(out, pic);
  return 0;
}

// Decodes a baseline JPEG (the title picture) the way the program will, and saves it as PNG.
int JpegToPng(const std::string& path, const std::string& out) {
  const auto bytes = ReadAll(path);
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  Picture p;
  p.w = static_cast<int>(cinfo.output_width);
  p.h = static_cast<int>(cinfo.output_height);
  p.rgb.resize(static_cast<size_t>(p.w) * p.h * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &p.rgb[static_cast<size_t>(cinfo.output_scanline) * p.w * 3];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  SavePng(out, p);
  return 0;
}

int BmpToPng(const std::string& bmp, const std::string& out, int scale) {
  const Picture in = LoadBmp24(bmp);
  Picture p;
  p.w = in.w * scale;
  p.h = in.h * scale;
  p.rgb.resize(static_cast<size_t>(p.w) * p.h * 3);
  for (int y = 0; y < p.h; ++y)
    for (int x = 0; x < p.w; ++x) {
      const auto c = in.At(x / scale, y / scale);
      std::memcpy(&p.rgb[(static_cast<size_t>(y) * p.w + x) * 3], c.data(), 3);
    }
  SavePng(out, p);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "mesh" && argc >= 4) return MeshViews(argv[2], argv[3], argc > 4 ? argv[4] : "");
    if (mode == "views" && argc == 4) return Views(argv[2], argv[3]);
    if (mode == "jpeg" && argc == 4) return JpegToPng(argv[2], argv[3]);
    if (mode == "bmp" && argc >= 4) return BmpToPng(argv[2], argv[3], argc > 4 ? std::max(1, std::atoi(argv[4])) : 1);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "assetgen_preview: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr,
               "usage: assetgen_preview mesh FILE.sx OUT.png [TEXTURE.bmp]\n"
               "       assetgen_preview views DATA_DIR OUT.png\n"
               "       assetgen_preview bmp FILE.bmp OUT.png [SCALE]\n"
               "       assetgen_preview jpeg FILE.jpg OUT.png\n");
  return 2;
}
