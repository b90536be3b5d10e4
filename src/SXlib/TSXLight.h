// One Direct3D light slot, and the group of slots the game uses.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/d3d/D3DTypes.h"
#include "s_MathPack/s_MathPack.h"

class TKiln;

class TSXLight {
 public:
  TSXLight(TKiln* device, int32_t index);

  TKiln* Device;
  int32_t Index;
  uint8_t Enabled = 0;
  bool AutoApply = true;
  D3DLIGHT7 LightData{};

  void SetEnabled(uint8_t b);
  void SetDiffuse(float r, float g, float b);
  void SetSpecular(float r, float g, float b);
  void SetAmbient(float r, float g, float b);
  void SetRangeAttenuation(float range, float a0, float a1, float a2);
  void SetDirectional(const TVector3& direction);
  void SetPoint(const TVector3& position);

 private:
  void Apply();
};

class TSXLightGroup {
 public:
  // A count of 0 raises the run-time library's integer-overflow error.
  TSXLightGroup(TKiln* device, uint32_t count);

  TKiln* Device;
  uint32_t Count;

  // The light, or nullptr after a log line when index is outside the group.
  TSXLight* GetLight(uint32_t index);

 private:
  std::vector<std::unique_ptr<TSXLight>> Lights;
};
