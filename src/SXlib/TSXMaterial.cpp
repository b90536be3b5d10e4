#include "SXlib/TSXMaterial.h"

#include "kiln/TKiln.h"

void TSXMaterial::Apply() {
  if (AutoApply && Device->D3DDevice) Device->D3DDevice->SetMaterial(&MaterialData);
}

void TSXMaterial::SetAmbient(float r, float g, float b) {
  MaterialData.ambient.r = r;
  MaterialData.ambient.g = g;
  MaterialData.ambient.b = b;
  Apply();
}

void TSXMaterial::SetDiffuse(float r, float g, float b) {
  MaterialData.diffuse.r = r;
  MaterialData.diffuse.g = g;
  MaterialData.diffuse.b = b;
  Apply();
}

void TSXMaterial::SetEmissive(float r, float g, float b) {
  MaterialData.emissive.r = r;
  MaterialData.emissive.g = g;
  MaterialData.emissive.b = b;
  Apply();
}

void TSXMaterial::SetPower(float p) {
  MaterialData.power = p;
  Apply();
}
