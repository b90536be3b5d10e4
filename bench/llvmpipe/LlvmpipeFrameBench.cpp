// The game-like scene of bench_d3d drawn with OpenGL on Mesa's llvmpipe, so that our software
// device can be set against another software renderer on the same machine in one sitting.
//
// Same meshes, places, lights, materials, textures and states as bench_d3d (640 x 480, 16-bit
// depth, opaque pass then additive pass). OpenGL's fixed-function pipeline has only 8 lights,
// so GLSL shaders do per vertex what Direct3D 7's fixed function does: transform, lighting with
// directional and point lights (range, attenuation, ambient, diffuse, local-viewer specular),
// Gouraud colours; and per pixel texture x diffuse plus specular, with the colour key. Meshes
// and textures are uploaded once; a frame is the clear, the draws and glFinish (llvmpipe defers
// its work until then).
//
// llvmpipe reads its thread count from LP_NUM_THREADS when the display is initialised; each
// benchmark run opens its own display, so the variable set for the program applies to all.
// TAVVY_GL_DUMP=folder writes the last frame as a PNG, to set beside bench_d3d's TAVVY_D3D_DUMP.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "common/BenchMeshes.h"
#include "platform/host/services/ImageCodecs.h"
#include "raster/PixelCodec.h"
#include "raster/Raster.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
// More than the scene's 116 enabled lights can reach one draw.
constexpr int kMaxLights = 128;

// ---- shaders -------------------------------------------------------------------------------

// Each light is four vec4 in uLights: where (camera-space position, or the unit vector towards
// a directional light) and range; diffuse and attenuation0; ambient and attenuation1; specular
// and attenuation2. The directional lights come first.
constexpr const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aDiffuse;
layout(location = 3) in vec4 aSpecular;
layout(location = 4) in vec2 aUv;

const int kMaxLights = 128;
uniform mat4 uWorldView;
uniform mat4 uWorldViewProjection;
uniform mat3 uNormal;  // inverse transpose of the world-view matrix
uniform bool uLighting;
uniform vec3 uAmbient;  // the ambient render state
uniform vec3 uMaterialAmbient;
uniform vec3 uMaterialSpecular;
uniform vec3 uMaterialEmissive;
uniform float uPower;
uniform bool uSpecular;  // false when the specular term cannot add anything
uniform int uDirectionalCount;
uniform int uLightCount;
uniform vec4 uLights[4 * kMaxLights];

out vec4 vDiffuse;
out vec4 vSpecular;
out vec2 vUv;

void main() {
  vec3 eye = (uWorldView * vec4(aPosition, 1.0)).xyz;
  vec4 clip = uWorldViewProjection * vec4(aPosition, 1.0);
  // Direct3D's clip volume has 0 <= z <= w; OpenGL's -w <= z <= w. The depth written is z / w.
  gl_Position = vec4(clip.xy, 2.0 * clip.z - clip.w, clip.w);
  vUv = aUv;
  if (!uLighting) {
    vDiffuse = aDiffuse;
    vSpecular = aSpecular;
    return;
  }
  vec3 n = uNormal * aNormal;
  // Local viewer: the half vector is taken with the direction to the eye at the origin.
  float eyeDistance = length(eye);
  vec3 toEye = eyeDistance > 0.0 ? -eye / eyeDistance : vec3(0.0);
  vec3 ambient = uAmbient, diffuse = vec3(0.0), specular = vec3(0.0);
  for (int i = 0; i < uLightCount; ++i) {
    vec4 at = uLights[4 * i], d = uLights[4 * i + 1], a = uLights[4 * i + 2], s = uLights[4 * i + 3];
    vec3 l = at.xyz;
    float attenuation = 1.0;
    if (i >= uDirectionalCount) {
      vec3 v = at.xyz - eye;
      float dist = length(v);
      l = dist > 0.0 ? v / dist : vec3(0.0);
      attenuation = dist <= at.w ? 1.0 / max(d.w + a.w * dist + s.w * dist * dist, 1e-6) : 0.0;
    }
    ambient += a.rgb * attenuation;
    float ndl = dot(n, l);
    if (ndl > 0.0) {
      diffuse += d.rgb * (ndl * attenuation);
      if (uSpecular) {
        vec3 h = l + toEye;
        float hl = length(h);
        float ndh = hl > 0.0 ? dot(n, h) / hl : 0.0;
        if (ndh > 0.0) specular += s.rgb * (pow(ndh, uPower) * attenuation);
      }
    }
  }
  // The vertex has a diffuse colour and COLORVERTEX is on: it is the diffuse material (colour 1);
  // ambient, specular and emissive come from the material.
  vDiffuse = vec4(clamp(uMaterialAmbient * ambient + aDiffuse.rgb * diffuse + uMaterialEmissive, 0.0, 1.0),
                  clamp(aDiffuse.a, 0.0, 1.0));
  vSpecular = vec4(clamp(uMaterialSpecular * specular, 0.0, 1.0), aSpecular.a);
}
)";

// Stage 0: colour = texture x diffuse; alpha = texture (opaque pass) or texture x diffuse
// (additive pass); then the specular sum. No texture acts as white. A keyed texture is uploaded
// with its keyed texels transparent black, so the key is an alpha test: with point sampling the
// pixel goes exactly where the texel's colour bits equal the key, and with bilinear filtering
// where keyed texels weigh half or more, as our device decides it.
constexpr const char* kFragmentShader = R"(#version 330 core
in vec4 vDiffuse;
in vec4 vSpecular;
in vec2 vUv;
uniform sampler2D uTexture;
uniform bool uTextured;
uniform bool uKeyed;
uniform bool uModulateAlpha;
uniform bool uSpecularEnable;
out vec4 oColor;

void main() {
  vec4 t = uTextured ? texture(uTexture, vUv) : vec4(1.0);
  if (uKeyed && t.a <= 0.5) discard;
  oColor = vec4(t.rgb * vDiffuse.rgb, uModulateAlpha ? t.a * vDiffuse.a : t.a);
  if (uSpecularEnable) oColor.rgb += vSpecular.rgb;
}
)";

// ---- matrices, row-major and applied to row vectors as Direct3D keeps them -------------------

using Mat4 = std::array<float, 16>;

Mat4 Translation(float x, float y, float z) { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1}; }

Mat4 Multiply(const Mat4& a, const Mat4& b) {
  Mat4 m{};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      for (int k = 0; k < 4; ++k) m[r * 4 + c] += a[r * 4 + k] * b[k * 4 + c];
  return m;
}

// The game's projection: 45 degrees vertical field, 4:3, near 1, far 5000.
Mat4 Projection() {
  const float c = std::cos(0.3926991f) / std::sin(0.3926991f), q = 5000.0f / 4999.0f;
  return {0.75f * c, 0, 0, 0, 0, c, 0, 0, 0, 0, q, 1, 0, 0, -q, 0};
}

// The matrix normals go through: the inverse transpose of the upper 3 x 3 (cofactors over the
// determinant); zero for a singular matrix.
std::array<float, 9> NormalMatrix(const Mat4& m) {
  auto at = [&m](int r, int c) { return m[r * 4 + c]; };
  std::array<float, 9> cof{};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
      cof[r * 3 + c] = at(r1, c1) * at(r2, c2) - at(r1, c2) * at(r2, c1);
    }
  const float det = at(0, 0) * cof[0] + at(0, 1) * cof[1] + at(0, 2) * cof[2];
  const float k = det != 0 ? 1.0f / det : 0.0f;
  for (float& v : cof) v *= k;
  return cof;
}

// ---- the scene's contents, as bench_d3d builds them ------------------------------------------

struct Vec3 {
  float x, y, z;
};

// A light in the shader's layout (see kVertexShader), in camera space (the view is identity).
using PackedLight = std::array<float, 16>;

PackedLight Directional(Vec3 dir, Vec3 diffuse, Vec3 specular, Vec3 ambient) {
  const float len = std::sqrt(dir.x * dir.x + dir.y * dir.y + dir.z * dir.z);
  return {-dir.x / len, -dir.y / len, -dir.z / len, 0, diffuse.x,  diffuse.y,  diffuse.z,  1,
          ambient.x,    ambient.y,    ambient.z,    0, specular.x, specular.y, specular.z, 0};
}

// Attenuation 1 / (0 + 1 d + 0 d^2), as all of the scene's point lights have it.
PackedLight Point(Vec3 at, Vec3 diffuse, Vec3 specular, Vec3 ambient, float range) {
  return {at.x,      at.y,      at.z,      range, diffuse.x,  diffuse.y,  diffuse.z,  0,
          ambient.x, ambient.y, ambient.z, 1,     specular.x, specular.y, specular.z, 0};
}

// The 16-bit texels of a generated texture: a gradient with noise from the generator, and for a
// keyed texture a pattern of black (key) squares.
std::vector<uint16_t> Texels(raster::PixelFormat format, int size, bool keyed, uint32_t seed) {
  std::vector<uint16_t> texels;
  texels.reserve(size_t(size) * size);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const bool hole = keyed && (x / 8 + y / 8) % 3 == 0;
      raster::Rgba8 c{0, 0, 0, 255};
      if (!hole) c = {uint8_t(x * 255 / size), uint8_t(seed >> 24), uint8_t(y * 255 / size), 255};
      texels.push_back(uint16_t(raster::EncodeRaw(format, c, raster::kRoundThreshold)));
    }
  return texels;
}

struct Material {
  Vec3 ambient{0, 0, 0}, specular{0, 0, 0}, emissive{0, 0, 0};
  float power = 0;
};

// ---- EGL: a display and a context without a window -------------------------------------------

class EglContext {
 public:
  EglContext() : error_(Open()) {}
  ~EglContext() {
    if (display_ == EGL_NO_DISPLAY) return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
    if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
    eglTerminate(display_);
  }
  EglContext(const EglContext&) = delete;
  EglContext& operator=(const EglContext&) = delete;

  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }

 private:
  // An OpenGL 3.3 core context made current; the reason when there is none.
  std::string Open() {
    display_ = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display_ == EGL_NO_DISPLAY) display_ = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display_ == EGL_NO_DISPLAY) return "no EGL display";
    if (!eglInitialize(display_, nullptr, nullptr)) {
      display_ = EGL_NO_DISPLAY;
      return "eglInitialize failed";
    }
    if (!eglBindAPI(EGL_OPENGL_API)) return "no desktop OpenGL through EGL";
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                       EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configs = 0;
    if (!eglChooseConfig(display_, configAttributes, &config, 1, &configs) || configs < 1)
      return "no EGL configuration for OpenGL";
    const EGLint contextAttributes[] = {
        EGL_CONTEXT_MAJOR_VERSION,           3,       EGL_CONTEXT_MINOR_VERSION, 3, EGL_CONTEXT_OPENGL_PROFILE_MASK,
        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, contextAttributes);
    if (context_ == EGL_NO_CONTEXT) return "no OpenGL 3.3 core context";
    // The scene draws into framebuffer objects; a 1 x 1 pbuffer only where the display cannot
    // make a context current without a surface.
    if (eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_)) return "";
    const EGLint pbufferAttributes[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    surface_ = eglCreatePbufferSurface(display_, config, pbufferAttributes);
    if (surface_ == EGL_NO_SURFACE || !eglMakeCurrent(display_, surface_, surface_, context_))
      return "eglMakeCurrent failed";
    return "";
  }

  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLContext context_ = EGL_NO_CONTEXT;
  EGLSurface surface_ = EGL_NO_SURFACE;
  std::string error_;  // after the handles: Open() sets them while error_ is made
};

// ---- the scene ---------------------------------------------------------------------------------

class GlScene {
 public:
  GlScene(bool x8r8g8b8, bool bilinear) : x8r8g8b8_(x8r8g8b8) {
    if (!egl_.Ok()) {
      error_ = egl_.Error();
      return;
    }
    if (const GLubyte* r = glGetString(GL_RENDERER)) renderer_ = reinterpret_cast<const char*>(r);
    if (renderer_.find("llvmpipe") == std::string::npos) {
      error_ = "renderer is not llvmpipe: " + renderer_;
      return;
    }
    if (!BuildProgram()) return;
    if (!BuildTarget()) return;

    earth_ = Texture(raster::PixelFormat::RGB565, 256, false, 1, bilinear);
    metal_ = Texture(raster::PixelFormat::RGB565, 128, false, 2, bilinear);
    fire_ = Texture(raster::PixelFormat::A1R5G5B5, 128, true, 3, bilinear);
    boom_ = Texture(raster::PixelFormat::A1R5G5B5, 128, true, 4, bilinear);
    planet_ = Upload(benchscene::Sphere(60, 40, 16));
    colony_ = Upload(benchscene::Cylinder(20, 300, 48, 6));
    craft_ = Upload(benchscene::Sphere(2, 15, 10));
    star_ = Upload(benchscene::Star());
    sprite_ = Upload(benchscene::Quad(0.6f));
    blast_ = Upload(benchscene::Quad(5));
    Place();

    glViewport(0, 0, kWidth, kHeight);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    // Direct3D culls the triangles that are counter-clockwise as seen on the screen (the
    // orientation seen is the same in OpenGL's window, whose rows run bottom up).
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
    glEnable(GL_DITHER);  // as the game sets it; llvmpipe draws the same bits without
    glBlendFunc(GL_ONE, GL_ONE);
    glUseProgram(program_);
    glUniform1i(Uniform("uTexture"), 0);
    glUniform3f(Uniform("uAmbient"), 128 / 255.0f, 128 / 255.0f, 128 / 255.0f);  // 0xFF808080
    glUniform1i(Uniform("uSpecularEnable"), 1);
    glActiveTexture(GL_TEXTURE0);
    if (glGetError() != GL_NO_ERROR) {
      error_ = "OpenGL error while setting up the scene";
      return;
    }
    ok_ = true;
  }

  ~GlScene() {
    if (!egl_.Ok()) return;
    for (const MeshBuffers& m : meshes_) {
      glDeleteVertexArrays(1, &m.vao);
      glDeleteBuffers(1, &m.vbo);
      glDeleteBuffers(1, &m.ibo);
    }
    for (GLuint t : textures_) glDeleteTextures(1, &t);
    glDeleteFramebuffers(1, &fbo_);
    glDeleteRenderbuffers(1, &colour_);
    glDeleteRenderbuffers(1, &depth_);
    glDeleteProgram(program_);
  }
  GlScene(const GlScene&) = delete;
  GlScene& operator=(const GlScene&) = delete;

  bool Ok() const { return ok_; }
  const std::string& Error() const { return error_; }
  const std::string& Renderer() const { return renderer_; }

  void Frame() {
    glDepthMask(GL_TRUE);  // a clear writes depth only where depth writes are on
    glClearColor(0, 0, 0, 1);
    glClearDepth(1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // Opaque pass.
    glDisable(GL_BLEND);
    glUniform1i(loc_.modulateAlpha, 0);
    glUniform1i(loc_.lighting, 1);
    Material m;
    m.ambient = {0.1f, 0.1f, 0.1f};
    Draw(Translation(-70, -50, 200), m, earth_, planet_);
    Draw(Translation(60, 30, 100), m, metal_, colony_);
    for (const Mat4& w : craftAt_) Draw(w, m, noTexture_, craft_);
    m.ambient = {2, 2, 2};
    for (const Mat4& w : starAt_) Draw(w, m, noTexture_, star_);
    // Additive pass.
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    glUniform1i(loc_.modulateAlpha, 1);
    m.ambient = {0.1f, 0.1f, 0.1f};
    for (const Mat4& w : spriteAt_) Draw(w, m, fire_, sprite_);
    glUniform1i(loc_.lighting, 0);
    for (const Mat4& w : blastAt_) Draw(w, m, boom_, blast_);
    bound_ = noTexture_;
    glBindTexture(GL_TEXTURE_2D, 0);
    glFinish();
  }

  // The last frame as 0x00RRGGBB, top row first, and the share of pixels drawn (counted as
  // bench_d3d counts them: a 16-bit pixel that is not zero, a 32-bit one whose blue or green is
  // not).
  std::vector<uint32_t> Pixels(double& coveragePercent) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    std::vector<uint32_t> xrgb(size_t(kWidth) * kHeight);
    long covered = 0;
    if (x8r8g8b8_) {
      std::vector<uint8_t> rgba(xrgb.size() * 4);
      glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
      for (size_t k = 0; k < xrgb.size(); ++k) {
        const uint8_t* p = &rgba[k * 4];
        xrgb[k] = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        covered += p[1] != 0 || p[2] != 0;
      }
    } else {
      std::vector<uint16_t> raw(xrgb.size());
      glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, raw.data());
      for (size_t k = 0; k < xrgb.size(); ++k) {
        const raster::Rgba8 c = raster::DecodeRaw(raster::PixelFormat::RGB565, raw[k]);
        xrgb[k] = uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
        covered += raw[k] != 0;
      }
    }
    coveragePercent = 100.0 * double(covered) / double(xrgb.size());
    // OpenGL's rows run bottom up.
    for (int y = 0; y < kHeight / 2; ++y)
      for (int x = 0; x < kWidth; ++x)
        std::swap(xrgb[size_t(y) * kWidth + x], xrgb[size_t(kHeight - 1 - y) * kWidth + x]);
    return xrgb;
  }

 private:
  struct MeshBuffers {
    GLuint vao = 0, vbo = 0, ibo = 0;
    GLsizei indexCount = 0;
    Vec3 centre{0, 0, 0};  // bounding sphere of the vertices, in model space
    float radius = 0;
  };
  struct Locations {
    GLint worldView = -1, worldViewProjection = -1, normal = -1, lighting = -1, materialAmbient = -1,
          materialSpecular = -1, materialEmissive = -1, power = -1, specular = -1, directionalCount = -1,
          lightCount = -1, lights = -1, textured = -1, keyed = -1, modulateAlpha = -1;
  };
  struct TextureRef {
    GLuint name = 0;
    bool keyed = false;
    bool operator==(const TextureRef&) const = default;
  };

  GLint Uniform(const char* name) const { return glGetUniformLocation(program_, name); }

  GLuint Compile(GLenum kind, const char* source) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
      std::string log(4096, '\0');
      GLsizei length = 0;
      glGetShaderInfoLog(shader, GLsizei(log.size()), &length, log.data());
      log.resize(size_t(length));
      error_ = "shader: " + log;
      glDeleteShader(shader);
      return 0;
    }
    return shader;
  }

  bool BuildProgram() {
    const GLuint vs = Compile(GL_VERTEX_SHADER, kVertexShader);
    const GLuint fs = vs ? Compile(GL_FRAGMENT_SHADER, kFragmentShader) : 0;
    if (!fs) {
      if (vs) glDeleteShader(vs);
      return false;
    }
    program_ = glCreateProgram();
    glAttachShader(program_, vs);
    glAttachShader(program_, fs);
    glLinkProgram(program_);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(program_, GL_LINK_STATUS, &ok);
    if (!ok) {
      error_ = "the shaders do not link";
      return false;
    }
    loc_.worldView = Uniform("uWorldView");
    loc_.worldViewProjection = Uniform("uWorldViewProjection");
    loc_.normal = Uniform("uNormal");
    loc_.lighting = Uniform("uLighting");
    loc_.materialAmbient = Uniform("uMaterialAmbient");
    loc_.materialSpecular = Uniform("uMaterialSpecular");
    loc_.materialEmissive = Uniform("uMaterialEmissive");
    loc_.power = Uniform("uPower");
    loc_.specular = Uniform("uSpecular");
    loc_.directionalCount = Uniform("uDirectionalCount");
    loc_.lightCount = Uniform("uLightCount");
    loc_.lights = Uniform("uLights");
    loc_.textured = Uniform("uTextured");
    loc_.keyed = Uniform("uKeyed");
    loc_.modulateAlpha = Uniform("uModulateAlpha");
    return true;
  }

  // 640 x 480 colour (RGB565 or RGBA8) and 16-bit depth.
  bool BuildTarget() {
    glGenRenderbuffers(1, &colour_);
    glBindRenderbuffer(GL_RENDERBUFFER, colour_);
    glRenderbufferStorage(GL_RENDERBUFFER, x8r8g8b8_ ? GL_RGBA8 : GL_RGB565, kWidth, kHeight);
    glGenRenderbuffers(1, &depth_);
    glBindRenderbuffer(GL_RENDERBUFFER, depth_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, kWidth, kHeight);
    glGenFramebuffers(1, &fbo_);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
      error_ = "the framebuffer is not complete";
      return false;
    }
    return true;
  }

  // RGB565, or A1R5G5B5 with black as its colour key; no mipmaps, wrapping.
  TextureRef Texture(raster::PixelFormat format, int size, bool keyed, uint32_t seed, bool bilinear) {
    std::vector<uint16_t> texels = Texels(format, size, keyed, seed);
    const uint32_t colourBits = raster::ColorBitsMask(format), key = 0;
    if (keyed)
      for (uint16_t& t : texels)
        if ((t & colourBits) == key) t = 0;  // transparent black
    GLuint name = 0;
    glGenTextures(1, &name);
    textures_.push_back(name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    if (format == raster::PixelFormat::RGB565)
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB565, size, size, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, texels.data());
    else
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB5_A1, size, size, 0, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, texels.data());
    const GLint filter = bilinear ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    return {name, keyed};
  }

  // Vertices and indices into buffers, laid out as the mesh's vertex structure.
  std::size_t Upload(const benchscene::Mesh& mesh) {
    using benchscene::Vertex;
    MeshBuffers& b = meshes_.emplace_back();
    glGenVertexArrays(1, &b.vao);
    glBindVertexArray(b.vao);
    glGenBuffers(1, &b.vbo);
    glBindBuffer(GL_ARRAY_BUFFER, b.vbo);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(mesh.v.size() * sizeof(Vertex)), mesh.v.data(), GL_STATIC_DRAW);
    glGenBuffers(1, &b.ibo);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b.ibo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(mesh.i.size() * sizeof(uint16_t)), mesh.i.data(), GL_STATIC_DRAW);
    const GLsizei stride = sizeof(Vertex);
    auto offset = [](std::size_t bytes) { return reinterpret_cast<const void*>(bytes); };
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, offset(offsetof(Vertex, x)));
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, offset(offsetof(Vertex, nx)));
    // Direct3D colours are 0xAARRGGBB words: B, G, R, A in memory.
    glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, offset(offsetof(Vertex, diffuse)));
    glVertexAttribPointer(3, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, offset(offsetof(Vertex, specular)));
    glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, stride, offset(offsetof(Vertex, u)));
    for (GLuint k = 0; k < 5; ++k) glEnableVertexAttribArray(k);
    glBindVertexArray(0);
    b.indexCount = GLsizei(mesh.i.size());
    // The sphere around the vertices' bounding box, as our device takes it to cull lights.
    Vec3 lo{INFINITY, INFINITY, INFINITY}, hi{-INFINITY, -INFINITY, -INFINITY};
    for (const Vertex& v : mesh.v) {
      lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
      hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
    }
    b.centre = {0.5f * (lo.x + hi.x), 0.5f * (lo.y + hi.y), 0.5f * (lo.z + hi.z)};
    b.radius =
        0.5f * std::sqrt((hi.x - lo.x) * (hi.x - lo.x) + (hi.y - lo.y) * (hi.y - lo.y) + (hi.z - lo.z) * (hi.z - lo.z));
    return meshes_.size() - 1;
  }

  // The places (from the generator every bench uses) and the lights.
  void Place() {
    const benchscene::Places places = benchscene::ScenePlaces();
    auto at = [](const Mat4& w) { return Vec3{w[12], w[13], w[14]}; };
    lights_.push_back(Directional({-1, -1, 0}, {1, 1, 1}, {0.8f, 0.8f, 0.8f}, {5, 5, 5}));
    lights_.push_back(Directional({0, 0, 1}, {0.5f, 0.5f, 3.5f}, {0, 0, 0}, {0, 0, 0}));
    directionalCount_ = 2;
    for (int k = 0; k < 3; ++k) lights_.push_back(Point({0, 2, 18}, {15, 3, 3}, {0, 0, 0}, {0, 0, 0}, 5));
    for (const auto& p : places.craft) craftAt_.push_back(Translation(p[0], p[1], p[2]));
    for (const auto& p : places.stars) starAt_.push_back(Translation(p[0], p[1], p[2]));
    for (const auto& p : places.sprites) {
      spriteAt_.push_back(Translation(p[0], p[1], p[2]));
      lights_.push_back(Point(at(spriteAt_.back()), {300, 300, 300}, {300, 300, 300}, {100, 100, 100}, 50));
    }
    for (int k = 0; k < 11; ++k) {
      const auto& p = places.blasts[size_t(k)];
      blastAt_.push_back(Translation(p[0], p[1], p[2]));
      const float c = float(10 + 3 * k);
      lights_.push_back(Point(at(blastAt_.back()), {100, 100 - 5 * c, 100 - 5 * c}, {0, 0, 0}, {0, 0, 0}, 300 - 6 * c));
    }
    // The game's other 31 lights are switched off: they are not drawn with.
  }

  // One draw as the game's rendering queue sends it: transform, material, texture when it
  // changes, and the lights that can reach the draw's bounding sphere.
  void Draw(const Mat4& world, const Material& m, TextureRef texture, std::size_t meshIndex) {
    const MeshBuffers& mesh = meshes_[meshIndex];
    const Mat4& worldView = world;  // the view is identity
    const Mat4 wvp = Multiply(worldView, projection_);
    glUniformMatrix4fv(loc_.worldView, 1, GL_FALSE, worldView.data());
    glUniformMatrix4fv(loc_.worldViewProjection, 1, GL_FALSE, wvp.data());
    glUniformMatrix3fv(loc_.normal, 1, GL_FALSE, NormalMatrix(worldView).data());
    glUniform3f(loc_.materialAmbient, m.ambient.x, m.ambient.y, m.ambient.z);
    glUniform3f(loc_.materialSpecular, m.specular.x, m.specular.y, m.specular.z);
    glUniform3f(loc_.materialEmissive, m.emissive.x, m.emissive.y, m.emissive.z);
    glUniform1f(loc_.power, m.power);
    // Specular from a black material adds nothing.
    glUniform1i(loc_.specular, m.specular.x != 0 || m.specular.y != 0 || m.specular.z != 0);
    if (texture != bound_) {
      glBindTexture(GL_TEXTURE_2D, texture.name);
      glUniform1i(loc_.textured, texture.name != 0);
      glUniform1i(loc_.keyed, texture.keyed);
      bound_ = texture;
    }

    // Lights: the directional ones, and the point lights within reach of the bounding sphere.
    const float scale = std::sqrt(
        std::max({worldView[0] * worldView[0] + worldView[1] * worldView[1] + worldView[2] * worldView[2],
                  worldView[4] * worldView[4] + worldView[5] * worldView[5] + worldView[6] * worldView[6],
                  worldView[8] * worldView[8] + worldView[9] * worldView[9] + worldView[10] * worldView[10]}));
    const float radius = mesh.radius * scale;
    const Vec3 c = mesh.centre;
    const Vec3 centre{c.x * worldView[0] + c.y * worldView[4] + c.z * worldView[8] + worldView[12],
                      c.x * worldView[1] + c.y * worldView[5] + c.z * worldView[9] + worldView[13],
                      c.x * worldView[2] + c.y * worldView[6] + c.z * worldView[10] + worldView[14]};
    drawLights_.clear();
    int count = 0;
    for (std::size_t k = 0; k < lights_.size() && count < kMaxLights; ++k) {
      const PackedLight& l = lights_[k];
      if (int(k) >= directionalCount_) {
        const float dx = l[0] - centre.x, dy = l[1] - centre.y, dz = l[2] - centre.z;
        if (std::sqrt(dx * dx + dy * dy + dz * dz) > l[3] + radius) continue;
      }
      drawLights_.insert(drawLights_.end(), l.begin(), l.end());
      ++count;
    }
    glUniform1i(loc_.directionalCount, directionalCount_);
    glUniform1i(loc_.lightCount, count);
    if (count > 0) glUniform4fv(loc_.lights, 4 * count, drawLights_.data());

    glBindVertexArray(mesh.vao);
    glDrawElements(GL_TRIANGLES, mesh.indexCount, GL_UNSIGNED_SHORT, nullptr);
  }

  EglContext egl_;  // first: made before and destroyed after every OpenGL object below
  bool x8r8g8b8_;
  bool ok_ = false;
  std::string error_, renderer_;
  GLuint program_ = 0, fbo_ = 0, colour_ = 0, depth_ = 0;
  Locations loc_;
  std::vector<GLuint> textures_;
  std::vector<MeshBuffers> meshes_;
  TextureRef earth_, metal_, fire_, boom_, noTexture_, bound_{~0u, false};
  std::size_t planet_ = 0, colony_ = 0, craft_ = 0, star_ = 0, sprite_ = 0, blast_ = 0;  // in meshes_
  Mat4 projection_ = Projection();
  std::vector<Mat4> craftAt_, starAt_, spriteAt_, blastAt_;
  std::vector<PackedLight> lights_;
  int directionalCount_ = 0;
  std::vector<float> drawLights_;
};

// Point sampling is what the game sets; bilinear filtering is measured too, as a player may
// choose it.
void LlvmpipeFrame(benchmark::State& st, bool x8r8g8b8, bool bilinear) {
  const char* threads = std::getenv("LP_NUM_THREADS");
  GlScene scene(x8r8g8b8, bilinear);
  if (!scene.Ok()) {
    st.SkipWithError(scene.Error().c_str());
    return;
  }
  // llvmpipe compiles the code for each shader and state combination at the first draw that
  // needs it: one frame untimed, as a game has drawn many before.
  scene.Frame();
  for (auto _ : st) scene.Frame();
  st.SetLabel(scene.Renderer() + ", LP_NUM_THREADS=" + (threads ? threads : "unset"));
  // -1: not set (llvmpipe then takes one thread per processor).
  st.counters["lp_threads"] = threads ? std::atof(threads) : -1.0;
  double coverage = 0;
  const std::vector<uint32_t> pixels = scene.Pixels(coverage);
  st.counters["coverage%"] = coverage;
  if (const char* dir = std::getenv("TAVVY_GL_DUMP")) {
    const std::string name =
        std::string("llvmpipe") + (x8r8g8b8 ? "-x8r8g8b8" : "-rgb565") + (bilinear ? "-bilinear" : "");
    host::services::WritePngXrgb(std::string(dir) + "/frame-" + name + ".png", pixels.data(), kWidth, kHeight, kWidth);
  }
}
void BM_LlvmpipeRGB565(benchmark::State& st) { LlvmpipeFrame(st, false, false); }
void BM_LlvmpipeX8R8G8B8(benchmark::State& st) { LlvmpipeFrame(st, true, false); }
void BM_LlvmpipeRGB565Bilinear(benchmark::State& st) { LlvmpipeFrame(st, false, true); }
void BM_LlvmpipeX8R8G8B8Bilinear(benchmark::State& st) { LlvmpipeFrame(st, true, true); }

BENCHMARK(BM_LlvmpipeRGB565)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LlvmpipeX8R8G8B8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LlvmpipeRGB565Bilinear)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LlvmpipeX8R8G8B8Bilinear)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
