// A material template: the game copies its record into frames.
#pragma once

#include "platform/d3d/D3DTypes.h"

class TKiln;

class TSXMaterial {
 public:
  explicit TSXMaterial(TKiln* device) : Device(device) {}

  TKiln* Device;
  bool AutoApply = true;
  D3DMATERIAL7 MaterialData{};

  void SetAmbient(float r, float g, float b);
  void SetDiffuse(float r, float g, float b);
  void SetEmissive(float r, float g, float b);
  void SetPower(float p);

 private:
  void Apply();
};
