#include "SXlib/TSXLight.h"

#include "kiln/KilnLog.h"
#include "kiln/TKiln.h"
#include "platform/rtl/SysUtils.h"

TSXLight::TSXLight(TKiln* device, int32_t index) : Device(device), Index(index) {
  LightData.dltType = D3DLIGHT_DIRECTIONAL;
  LightData.dcvDiffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
  LightData.dvDirection = D3DVECTOR{0, 0, 1};
}

void TSXLight::Apply() {
  if (AutoApply && Device->D3DDevice) Device->D3DDevice->SetLight(static_cast<DWORD>(Index), &LightData);
}

void TSXLight::SetEnabled(uint8_t b) {
  Enabled = b;
  if (!Device->D3DDevice) return;
  Device->D3DDevice->SetLight(static_cast<DWORD>(Index), &LightData);
  // TRUE is written with every bit set, as the original passes it.
  Device->D3DDevice->LightEnable(static_cast<DWORD>(Index), b != 0 ? static_cast<BOOL>(-1) : FALSE);
}

void TSXLight::SetDiffuse(float r, float g, float b) {
  LightData.dcvDiffuse.r = r;
  LightData.dcvDiffuse.g = g;
  LightData.dcvDiffuse.b = b;
  Apply();
}

void TSXLight::SetSpecular(float r, float g, float b) {
  LightData.dcvSpecular.r = r;
  LightData.dcvSpecular.g = g;
  LightData.dcvSpecular.b = b;
  Apply();
}

void TSXLight::SetAmbient(float r, float g, float b) {
  LightData.dcvAmbient.r = r;
  LightData.dcvAmbient.g = g;
  LightData.dcvAmbient.b = b;
  Apply();
}

void TSXLight::SetRangeAttenuation(float range, float a0, float a1, float a2) {
  LightData.dvRange = range;
  LightData.dvAttenuation0 = a0;
  LightData.dvAttenuation1 = a1;
  LightData.dvAttenuation2 = a2;
  Apply();
}

void TSXLight::SetDirectional(const TVector3& direction) {
  LightData.dltType = D3DLIGHT_DIRECTIONAL;
  LightData.dvDirection = D3DVECTOR{direction.x, direction.y, direction.z};
  Apply();
}

void TSXLight::SetPoint(const TVector3& position) {
  LightData.dltType = D3DLIGHT_POINT;
  LightData.dvPosition = D3DVECTOR{position.x, position.y, position.z};
  Apply();
}

TSXLightGroup::TSXLightGroup(TKiln* device, uint32_t count) : Device(device), Count(count) {
  if (count == 0) throw rtl::EIntOverflow();
  Lights.reserve(count);
  for (uint32_t i = 0; i < count; ++i) Lights.push_back(std::make_unique<TSXLight>(device, static_cast<int32_t>(i)));
}

TSXLight* TSXLightGroup::GetLight(uint32_t index) {
  if (index >= Count) {
    KilnLog("TSXLightGroup @ SXLib: 範囲外のライトを参照しようとしました");
    return nullptr;
  }
  return Lights[index].get();
}
