// The lighting equation checked against values worked out by hand: one directional light, one
// attenuated point light, specular with and without a local viewer, negative lights and the
// material colour sources. Flat shading makes every pixel of a triangle show its first vertex,
// so a single pixel reads the lit colour of a known vertex.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "RasterTestUtil.h"

namespace {

using namespace rastertest;

struct Factory {
  const char* name;
  std::function<std::unique_ptr<Rasterizer>()> make;
};

class Lighting : public ::testing::TestWithParam<Factory> {
 protected:
  Lighting() : canvas_(PixelFormat::X8R8G8B8, 64, 64) {
    state_ = canvas_.MakeState();
    state_.projection = Perspective(0.7853982f, 1.0f, 1.0f, 100.0f);
    state_.rs.shadeMode = ShadeMode::Flat;
    state_.rs.zEnable = false;
    state_.rs.ambient = 0;
    state_.material.ambient = {1, 1, 1, 1};
    state_.material.diffuse = {1, 1, 1, 1};
  }

  // A triangle whose first vertex sits at (x0, 0, 10) facing the camera; returns the colour
  // it is drawn with (as 0..1 per channel).
  std::array<double, 3> Lit(float x0 = 0, uint32_t diffuse = 0xFFFFFFFF, uint32_t specular = 0) {
    Mesh m;
    m.vertices = {{x0, 0, 10, 0, 0, -1, diffuse, specular, 0, 0},
                  {x0 + 3, 0, 10, 0, 0, -1, diffuse, specular, 0, 0},
                  {x0, -3, 10, 0, 0, -1, diffuse, specular, 0, 0}};
    m.indices = {0, 1, 2};
    state_.lights = lights_;
    // One device for the whole test, as the game keeps one: no draw may see an earlier draw's
    // lights (or anything else it prepared).
    if (!device_) device_ = GetParam().make();
    Rasterizer* r = device_.get();
    EXPECT_EQ(r->Clear(state_, {}, clear::Target, 0xFF0000FF, 1.0f, 0), Result::Ok);
    EXPECT_EQ(r->DrawIndexedTriangleList(state_, m.Data(), m.indices), Result::Ok);
    // The centroid of the triangle on the screen (focal length 2.414 over a 32-pixel half width).
    const double f = 32.0 / std::tan(0.7853982 / 2);
    const int px = int(32 + (x0 + 1.0) / 10.0 * f), py = int(32 + 1.0 / 10.0 * f);
    const Rgba8 c = canvas_.Pixel(px, py);
    return {c.r / 255.0, c.g / 255.0, c.b / 255.0};
  }

  static void ExpectColor(const std::array<double, 3>& got, double r, double g, double b) {
    const double tol = 1.01 / 255.0;
    EXPECT_NEAR(got[0], std::clamp(r, 0.0, 1.0), tol);
    EXPECT_NEAR(got[1], std::clamp(g, 0.0, 1.0), tol);
    EXPECT_NEAR(got[2], std::clamp(b, 0.0, 1.0), tol);
  }

  static Light Directional(float dx, float dy, float dz, Color diffuse) {
    Light l;
    l.type = LightType::Directional;
    l.direction = {dx, dy, dz};
    l.diffuse = diffuse;
    return l;
  }

  // A point light five in front of the eye, attenuated 1 / (0.5 + 0.1 d + 0.02 d^2).
  static Light Lamp() {
    Light l = PointLight({0, 0, 5}, {0.9f, 0.6f, 0.3f, 1}, 10, 0.5f, 0.1f, 0.02f);
    l.ambient = {0.3f, 0.3f, 0.3f, 1};
    return l;
  }

  Canvas canvas_;
  std::unique_ptr<Rasterizer> device_;
  State state_;
  std::vector<Light> lights_;
};

TEST_P(Lighting, DirectionalLightWithAmbientAndEmissive) {
  state_.rs.ambient = 0xFF202020;
  state_.material.ambient = {0.5f, 0.5f, 0.5f, 1};
  state_.material.emissive = {0.1f, 0.0f, 0.2f, 1};
  Light l = Directional(0, 0, 1, {1.0f, 0.6f, 0.3f, 1});
  l.ambient = {0.2f, 0.2f, 0.2f, 1};
  lights_ = {l};
  // Diffuse comes from the vertex colour (the default source); N.L = 1 head on.
  const double amb = 0.5 * (32 / 255.0 + 0.2), vd = 128 / 255.0;
  ExpectColor(Lit(0, 0xFF808080), amb + vd * 1.0 + 0.1, amb + vd * 0.6, amb + vd * 0.3 + 0.2);

  // From 45 degrees above: N.L = cos 45.
  lights_ = {Directional(0, -1, 1, {0.8f, 0.8f, 0.8f, 1})};
  state_.rs.ambient = 0;
  state_.material.emissive = {};
  const double k = std::sqrt(0.5);
  ExpectColor(Lit(0, 0xFF808080), vd * 0.8 * k, vd * 0.8 * k, vd * 0.8 * k);

  // From behind the surface: no diffuse, the light's ambient still counts.
  l = Directional(0, 0, -1, {1, 1, 1, 1});
  l.ambient = {0.25f, 0.5f, 0.0f, 1};
  lights_ = {l};
  ExpectColor(Lit(0, 0xFF808080), 0.125, 0.25, 0.0);
}

TEST_P(Lighting, PointLightAttenuationAndRange) {
  state_.rs.diffuseMaterialSource = MaterialSource::Material;
  const Light l = Lamp();
  lights_ = {l};
  // d = 5: attenuation 1 / (0.5 + 0.5 + 0.5); N.L = 1.
  const double a = 1 / 1.5;
  ExpectColor(Lit(), (0.3 + 0.9) * a, (0.3 + 0.6) * a, (0.3 + 0.3) * a);

  // Off to the side: d = 5 again, N.L = 4/5.
  lights_[0].position = {3, 0, 6};
  ExpectColor(Lit(), (0.3 + 0.9 * 0.8) * a, (0.3 + 0.6 * 0.8) * a, (0.3 + 0.3 * 0.8) * a);

  // Just out of range: nothing at all, ambient included. A negative range reaches nothing.
  lights_[0].range = 4.99f;
  ExpectColor(Lit(), 0, 0, 0);
  lights_[0].range = -300;
  ExpectColor(Lit(), 0, 0, 0);

  // A light sitting on the vertex with no constant term saturates instead of dividing by zero.
  lights_[0] = l;
  lights_[0].position = {0, 0, 10};
  lights_[0].attenuation0 = 0;
  ExpectColor(Lit(), 1, 1, 1);
}

// A draw leaves out the lights that cannot reach any of its vertices: those far away around the
// ones that reach it change nothing, with and without a spot light among them (which lights one
// vertex at a time), and a light that comes within reach at the next draw counts again.
TEST_P(Lighting, LightsOutOfReachOfTheDrawChangeNothing) {
  state_.rs.diffuseMaterialSource = MaterialSource::Material;
  const double a = 1 / 1.5;  // Lamp(), d = 5
  const double lampR = (0.3 + 0.9) * a, lampG = (0.3 + 0.6) * a, lampB = (0.3 + 0.3) * a;
  const Light faraway = PointLight({60, 0, 10}, {1, 1, 1, 1}, 10, 1, 0, 0);
  const Light behind = PointLight({0, 0, -40}, {1, 0, 1, 1}, 5, 1, 0, 0);
  lights_ = {faraway, Lamp(), behind};
  ExpectColor(Lit(), lampR, lampG, lampB);
  lights_ = {behind, faraway, Lamp(), faraway};
  ExpectColor(Lit(), lampR, lampG, lampB);

  // With a spot light straight at the triangle (0.1, 0.2, 0.3 at full strength).
  Light spot;
  spot.type = LightType::Spot;
  spot.position = {0, 0, 5};
  spot.direction = {0, 0, 1};
  spot.diffuse = {0.1f, 0.2f, 0.3f, 1};
  spot.range = 100;
  spot.attenuation0 = 1;
  spot.theta = 0.6981317f;
  spot.phi = 1.3962634f;
  spot.falloff = 1;
  lights_ = {faraway, spot, behind, Lamp()};
  ExpectColor(Lit(), lampR + 0.1, lampG + 0.2, lampB + 0.3);

  // The far light moved next to the triangle: now it counts (d = 1, N.L = 1, attenuation 1).
  lights_ = {faraway, Lamp()};
  lights_[0].position = {0, 0, 9};
  lights_[0].diffuse = {0.05f, 0.1f, 0.15f, 1};
  ExpectColor(Lit(), lampR + 0.05, lampG + 0.1, lampB + 0.15);
}

// Lighting is worked out in camera space: when only the view moves, the same lights move with
// it (the triangle and the point light both step back by one, so nothing changes); when the
// view moves the other way round and the world follows, the light stays behind.
TEST_P(Lighting, TheSameLightsUnderAMovedViewMoveWithIt) {
  state_.rs.diffuseMaterialSource = MaterialSource::Material;
  lights_ = {Lamp()};
  lights_[0].ambient = {};
  const double a = 1 / 1.5;  // d = 5
  ExpectColor(Lit(), 0.9 * a, 0.6 * a, 0.3 * a);
  state_.view = Translation(0, 0, 1);
  ExpectColor(Lit(), 0.9 * a, 0.6 * a, 0.3 * a);
  // The world one step back and the view one step forward: the triangle is where it was, the
  // light one step nearer the eye (d = 6: attenuation 1 / (0.5 + 0.6 + 0.72)).
  state_.world = Translation(0, 0, 1);
  state_.view = Translation(0, 0, -1);
  const double b = 1 / 1.82;
  ExpectColor(Lit(), 0.9 * b, 0.6 * b, 0.3 * b);
}

TEST_P(Lighting, SpecularHalfwayVectorAndLocalViewer) {
  state_.rs.specularEnable = true;
  state_.rs.specularMaterialSource = MaterialSource::Material;
  state_.material.diffuse = {0, 0, 0, 1};
  state_.rs.diffuseMaterialSource = MaterialSource::Material;
  state_.material.specular = {1, 1, 1, 1};
  state_.material.power = 8;
  Light l = Directional(0, 0, 1, {1, 1, 1, 1});
  l.specular = {0.5f, 0.4f, 0.3f, 1};
  lights_ = {l};
  state_.rs.localViewer = false;
  ExpectColor(Lit(2), 0.5, 0.4, 0.3);  // H = N wherever the vertex is

  // With a local viewer the eye direction from (2, 0, 10) tilts the halfway vector.
  state_.rs.localViewer = true;
  const double ex = -2 / std::sqrt(104.0), ez = -10 / std::sqrt(104.0);
  const double hx = ex, hz = ez - 1, hl = std::sqrt(hx * hx + hz * hz);
  const double k = std::pow(-hz / hl, 8);
  ExpectColor(Lit(2), 0.5 * k, 0.4 * k, 0.3 * k);

  // Specular comes from the vertex when the source says so, and is not added when disabled.
  state_.rs.specularMaterialSource = MaterialSource::Color2;
  state_.rs.localViewer = false;
  ExpectColor(Lit(2, 0xFFFFFFFF, 0xFF000080), 0, 0, 0.3 * 128 / 255.0);
  state_.rs.specularEnable = false;
  ExpectColor(Lit(2, 0xFFFFFFFF, 0xFF000080), 0, 0, 0);
}

TEST_P(Lighting, NegativeLightsDarkenAndClamp) {
  state_.rs.diffuseMaterialSource = MaterialSource::Material;
  state_.material.emissive = {0.8f, 0.8f, 0.8f, 1};
  lights_ = {Directional(0, 0, 1, {-0.3f, -1.5f, 0.0f, 1})};
  ExpectColor(Lit(), 0.5, 0.0, 0.8);
}

TEST_P(Lighting, MaterialSourcesAndColorVertex) {
  lights_ = {Directional(0, 0, 1, {1, 1, 1, 1})};
  state_.material.diffuse = {0.25f, 0.5f, 0.75f, 1};
  // Default: diffuse from the vertex colour.
  ExpectColor(Lit(0, 0xFF406080), 64 / 255.0, 96 / 255.0, 128 / 255.0);
  // COLORVERTEX off: the material, whatever the source says.
  state_.rs.colorVertex = false;
  ExpectColor(Lit(0, 0xFF406080), 0.25, 0.5, 0.75);
  state_.rs.colorVertex = true;
  state_.rs.diffuseMaterialSource = MaterialSource::Material;
  ExpectColor(Lit(0, 0xFF406080), 0.25, 0.5, 0.75);
  // Ambient from the vertex's specular colour.
  lights_.clear();
  state_.rs.ambient = 0xFFFFFFFF;
  state_.rs.ambientMaterialSource = MaterialSource::Color2;
  ExpectColor(Lit(0, 0xFF406080, 0xFF102030), 16 / 255.0, 32 / 255.0, 48 / 255.0);
  // Lighting off: the vertex colour as it is.
  state_.rs.lighting = false;
  ExpectColor(Lit(0, 0xFF406080, 0xFF102030), 64 / 255.0, 96 / 255.0, 128 / 255.0);
}

TEST_P(Lighting, SpotLightConeAndFalloff) {
  state_.rs.diffuseMaterialSource = MaterialSource::Material;
  Light l;
  l.type = LightType::Spot;
  l.position = {0, 0, 5};
  l.direction = {0, 0, 1};  // straight at the triangle
  l.diffuse = {0.8f, 0.5f, 0.2f, 1};
  l.ambient = {0.1f, 0.1f, 0.1f, 1};
  l.range = 100;
  l.attenuation0 = 1;
  l.theta = 0.6981317f;  // 40 degrees: the full-strength cone is 20 degrees either side
  l.phi = 1.3962634f;    // 80 degrees: nothing beyond 40 degrees
  l.falloff = 1;
  lights_ = {l};
  // On the axis: full strength, N.L = 1.
  ExpectColor(Lit(), 0.1 + 0.8, 0.1 + 0.5, 0.1 + 0.2);

  // 31 degrees off the axis, between the cones: the strength falls with (rho - cos 40) /
  // (cos 20 - cos 40), to the power falloff; rho and N.L are both 5 / sqrt(34) there.
  const double rho = 5 / std::sqrt(34.0), t = (rho - std::cos(0.6981317)) / (std::cos(0.3490659) - std::cos(0.6981317));
  for (const float falloff : {1.0f, 2.0f}) {
    lights_[0].falloff = falloff;
    const double k = std::pow(t, falloff);
    ExpectColor(Lit(3), (0.1 + 0.8 * rho) * k, (0.1 + 0.5 * rho) * k, (0.1 + 0.2 * rho) * k);
  }

  // Outside the outer cone (45 degrees off, the light moved up close): nothing at all, its
  // ambient included.
  lights_[0].position = {0, 0, 8};
  ExpectColor(Lit(2), 0, 0, 0);
}

INSTANTIATE_TEST_SUITE_P(Both, Lighting,
                         ::testing::Values(Factory{"Reference", MakeReferenceRasterizer},
                                           Factory{"Fast", MakeFastRasterizer}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
