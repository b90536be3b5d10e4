#include "platform/d3d/RenderStates.h"

namespace d3d::detail {

namespace {

constexpr DWORD kAll = 0xFFFFFFFFu;
constexpr DWORD kOne = 0x3F800000u;  // 1.0f

struct Rule {
  DWORD state;
  const char* name;
  DWORD defaultValue;
  DWORD validLo, validHi;  // outside: invalid
  DWORD drawnLo, drawnHi;  // inside the valid range but outside this: not supported
};

// Any value; drawn as asked.
constexpr Rule Any(DWORD s, const char* n, DWORD d) { return {s, n, d, 0, kAll, 0, kAll}; }
// Any value, but only the default (off) can be drawn.
constexpr Rule OffOnly(DWORD s, const char* n) { return {s, n, 0, 0, kAll, 0, 0}; }
constexpr Rule Range(DWORD s, const char* n, DWORD d, DWORD lo, DWORD hi) { return {s, n, d, lo, hi, lo, hi}; }

constexpr Rule kRenderRules[] = {
    {D3DRENDERSTATE_ANTIALIAS, "D3DRENDERSTATE_ANTIALIAS", 0, 0, 2, 0, 0},
    Any(D3DRENDERSTATE_TEXTUREPERSPECTIVE, "D3DRENDERSTATE_TEXTUREPERSPECTIVE", TRUE),
    {D3DRENDERSTATE_ZENABLE, "D3DRENDERSTATE_ZENABLE", D3DZB_FALSE, D3DZB_FALSE, D3DZB_USEW, D3DZB_FALSE, D3DZB_TRUE},
    {D3DRENDERSTATE_FILLMODE, "D3DRENDERSTATE_FILLMODE", D3DFILL_SOLID, D3DFILL_POINT, D3DFILL_SOLID, D3DFILL_SOLID,
     D3DFILL_SOLID},
    Range(D3DRENDERSTATE_SHADEMODE, "D3DRENDERSTATE_SHADEMODE", D3DSHADE_GOURAUD, D3DSHADE_FLAT, D3DSHADE_PHONG),
    Any(D3DRENDERSTATE_LINEPATTERN, "D3DRENDERSTATE_LINEPATTERN", 0),
    Any(D3DRENDERSTATE_ZWRITEENABLE, "D3DRENDERSTATE_ZWRITEENABLE", TRUE),
    OffOnly(D3DRENDERSTATE_ALPHATESTENABLE, "D3DRENDERSTATE_ALPHATESTENABLE"),
    Any(D3DRENDERSTATE_LASTPIXEL, "D3DRENDERSTATE_LASTPIXEL", TRUE),
    Range(D3DRENDERSTATE_SRCBLEND, "D3DRENDERSTATE_SRCBLEND", D3DBLEND_ONE, D3DBLEND_ZERO, D3DBLEND_BOTHINVSRCALPHA),
    Range(D3DRENDERSTATE_DESTBLEND, "D3DRENDERSTATE_DESTBLEND", D3DBLEND_ZERO, D3DBLEND_ZERO, D3DBLEND_BOTHINVSRCALPHA),
    Range(D3DRENDERSTATE_CULLMODE, "D3DRENDERSTATE_CULLMODE", D3DCULL_CCW, D3DCULL_NONE, D3DCULL_CCW),
    Range(D3DRENDERSTATE_ZFUNC, "D3DRENDERSTATE_ZFUNC", D3DCMP_LESSEQUAL, D3DCMP_NEVER, D3DCMP_ALWAYS),
    Any(D3DRENDERSTATE_ALPHAREF, "D3DRENDERSTATE_ALPHAREF", 0),
    Range(D3DRENDERSTATE_ALPHAFUNC, "D3DRENDERSTATE_ALPHAFUNC", D3DCMP_ALWAYS, D3DCMP_NEVER, D3DCMP_ALWAYS),
    Any(D3DRENDERSTATE_DITHERENABLE, "D3DRENDERSTATE_DITHERENABLE", FALSE),
    Any(D3DRENDERSTATE_ALPHABLENDENABLE, "D3DRENDERSTATE_ALPHABLENDENABLE", FALSE),
    OffOnly(D3DRENDERSTATE_FOGENABLE, "D3DRENDERSTATE_FOGENABLE"),
    Any(D3DRENDERSTATE_SPECULARENABLE, "D3DRENDERSTATE_SPECULARENABLE", FALSE),
    OffOnly(D3DRENDERSTATE_ZVISIBLE, "D3DRENDERSTATE_ZVISIBLE"),
    OffOnly(D3DRENDERSTATE_STIPPLEDALPHA, "D3DRENDERSTATE_STIPPLEDALPHA"),
    Any(D3DRENDERSTATE_FOGCOLOR, "D3DRENDERSTATE_FOGCOLOR", 0),
    Range(D3DRENDERSTATE_FOGTABLEMODE, "D3DRENDERSTATE_FOGTABLEMODE", 0, 0, 3),
    Any(D3DRENDERSTATE_FOGSTART, "D3DRENDERSTATE_FOGSTART", 0),
    Any(D3DRENDERSTATE_FOGEND, "D3DRENDERSTATE_FOGEND", kOne),
    Any(D3DRENDERSTATE_FOGDENSITY, "D3DRENDERSTATE_FOGDENSITY", kOne),
    OffOnly(D3DRENDERSTATE_EDGEANTIALIAS, "D3DRENDERSTATE_EDGEANTIALIAS"),
    Any(D3DRENDERSTATE_COLORKEYENABLE, "D3DRENDERSTATE_COLORKEYENABLE", FALSE),
    {D3DRENDERSTATE_ZBIAS, "D3DRENDERSTATE_ZBIAS", 0, 0, 16, 0, 0},
    Any(D3DRENDERSTATE_RANGEFOGENABLE, "D3DRENDERSTATE_RANGEFOGENABLE", FALSE),
    OffOnly(D3DRENDERSTATE_STENCILENABLE, "D3DRENDERSTATE_STENCILENABLE"),
    Range(D3DRENDERSTATE_STENCILFAIL, "D3DRENDERSTATE_STENCILFAIL", 1, 1, 8),  // D3DSTENCILOP_KEEP
    Range(D3DRENDERSTATE_STENCILZFAIL, "D3DRENDERSTATE_STENCILZFAIL", 1, 1, 8),
    Range(D3DRENDERSTATE_STENCILPASS, "D3DRENDERSTATE_STENCILPASS", 1, 1, 8),
    Range(D3DRENDERSTATE_STENCILFUNC, "D3DRENDERSTATE_STENCILFUNC", D3DCMP_ALWAYS, D3DCMP_NEVER, D3DCMP_ALWAYS),
    Any(D3DRENDERSTATE_STENCILREF, "D3DRENDERSTATE_STENCILREF", 0),
    Any(D3DRENDERSTATE_STENCILMASK, "D3DRENDERSTATE_STENCILMASK", kAll),
    Any(D3DRENDERSTATE_STENCILWRITEMASK, "D3DRENDERSTATE_STENCILWRITEMASK", kAll),
    Any(D3DRENDERSTATE_TEXTUREFACTOR, "D3DRENDERSTATE_TEXTUREFACTOR", kAll),
    OffOnly(D3DRENDERSTATE_WRAP0, "D3DRENDERSTATE_WRAP0"),
    OffOnly(D3DRENDERSTATE_WRAP0 + 1, "D3DRENDERSTATE_WRAP1"),
    OffOnly(D3DRENDERSTATE_WRAP0 + 2, "D3DRENDERSTATE_WRAP2"),
    OffOnly(D3DRENDERSTATE_WRAP0 + 3, "D3DRENDERSTATE_WRAP3"),
    OffOnly(D3DRENDERSTATE_WRAP0 + 4, "D3DRENDERSTATE_WRAP4"),
    OffOnly(D3DRENDERSTATE_WRAP0 + 5, "D3DRENDERSTATE_WRAP5"),
    OffOnly(D3DRENDERSTATE_WRAP0 + 6, "D3DRENDERSTATE_WRAP6"),
    OffOnly(D3DRENDERSTATE_WRAP0 + 7, "D3DRENDERSTATE_WRAP7"),
    Any(D3DRENDERSTATE_CLIPPING, "D3DRENDERSTATE_CLIPPING", TRUE),
    Any(D3DRENDERSTATE_LIGHTING, "D3DRENDERSTATE_LIGHTING", TRUE),
    Any(D3DRENDERSTATE_EXTENTS, "D3DRENDERSTATE_EXTENTS", FALSE),
    Any(D3DRENDERSTATE_AMBIENT, "D3DRENDERSTATE_AMBIENT", 0),
    Range(D3DRENDERSTATE_FOGVERTEXMODE, "D3DRENDERSTATE_FOGVERTEXMODE", 0, 0, 3),
    Any(D3DRENDERSTATE_COLORVERTEX, "D3DRENDERSTATE_COLORVERTEX", TRUE),
    Any(D3DRENDERSTATE_LOCALVIEWER, "D3DRENDERSTATE_LOCALVIEWER", TRUE),
    Any(D3DRENDERSTATE_NORMALIZENORMALS, "D3DRENDERSTATE_NORMALIZENORMALS", FALSE),
    OffOnly(D3DRENDERSTATE_COLORKEYBLENDENABLE, "D3DRENDERSTATE_COLORKEYBLENDENABLE"),
    Range(D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, "D3DRENDERSTATE_DIFFUSEMATERIALSOURCE", D3DMCS_COLOR1, D3DMCS_MATERIAL,
          D3DMCS_COLOR2),
    Range(D3DRENDERSTATE_SPECULARMATERIALSOURCE, "D3DRENDERSTATE_SPECULARMATERIALSOURCE", D3DMCS_COLOR2,
          D3DMCS_MATERIAL, D3DMCS_COLOR2),
    Range(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, "D3DRENDERSTATE_AMBIENTMATERIALSOURCE", D3DMCS_MATERIAL,
          D3DMCS_MATERIAL, D3DMCS_COLOR2),
    Range(D3DRENDERSTATE_EMISSIVEMATERIALSOURCE, "D3DRENDERSTATE_EMISSIVEMATERIALSOURCE", D3DMCS_MATERIAL,
          D3DMCS_MATERIAL, D3DMCS_COLOR2),
    {D3DRENDERSTATE_VERTEXBLEND, "D3DRENDERSTATE_VERTEXBLEND", 0, 0, 3, 0, 0},
    OffOnly(D3DRENDERSTATE_CLIPPLANEENABLE, "D3DRENDERSTATE_CLIPPLANEENABLE"),
};

const Rule* FindRule(DWORD state) {
  for (const Rule& r : kRenderRules)
    if (r.state == state) return &r;
  return nullptr;
}

StateCheck Apply(const Rule& r, DWORD value) {
  if (value < r.validLo || value > r.validHi) return StateCheck::Invalid;
  if (value < r.drawnLo || value > r.drawnHi) return StateCheck::Unsupported;
  return StateCheck::Ok;
}

bool ValidArgument(DWORD v) {
  // A selector (diffuse, current, texture, factor, specular) with the complement and
  // alpha-replicate modifiers.
  return (v & ~DWORD(0x3F)) == 0 && (v & 0x0F) <= D3DTA_SPECULAR;
}

constexpr DWORD kLastTextureOp = 24;  // D3DTOP_DOTPRODUCT3

}  // namespace

bool RenderStateDefault(DWORD state, bool hasZBuffer, DWORD& value) {
  const Rule* r = FindRule(state);
  if (!r) return false;
  value = state == D3DRENDERSTATE_ZENABLE ? (hasZBuffer ? D3DZB_TRUE : D3DZB_FALSE) : r->defaultValue;
  return true;
}

StateCheck CheckRenderState(DWORD state, DWORD value) {
  const Rule* r = FindRule(state);
  return r ? Apply(*r, value) : StateCheck::Invalid;
}

const char* RenderStateName(DWORD state) {
  const Rule* r = FindRule(state);
  return r ? r->name : "render state";
}

bool StageStateDefault(DWORD stage, DWORD state, DWORD& value) {
  switch (state) {
    case D3DTSS_COLOROP:
      value = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
      return true;
    case D3DTSS_ALPHAOP:
      value = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
      return true;
    case D3DTSS_COLORARG1:
    case D3DTSS_ALPHAARG1:
      value = D3DTA_TEXTURE;
      return true;
    case D3DTSS_COLORARG2:
    case D3DTSS_ALPHAARG2:
      value = D3DTA_CURRENT;
      return true;
    case D3DTSS_TEXCOORDINDEX:
      value = stage;
      return true;
    case D3DTSS_ADDRESS:
    case D3DTSS_ADDRESSU:
    case D3DTSS_ADDRESSV:
      value = D3DTADDRESS_WRAP;
      return true;
    case D3DTSS_MAGFILTER:
      value = D3DTFG_POINT;
      return true;
    case D3DTSS_MINFILTER:
      value = D3DTFN_POINT;
      return true;
    case D3DTSS_MIPFILTER:
      value = D3DTFP_NONE;
      return true;
    case D3DTSS_MAXANISOTROPY:
      value = 1;
      return true;
    case 7:
    case 8:
    case 9:
    case 10:  // bump-mapping matrix
    case D3DTSS_BORDERCOLOR:
    case D3DTSS_MIPMAPLODBIAS:
    case D3DTSS_MAXMIPLEVEL:
    case 22:
    case 23:  // bump-mapping luminance scale and offset
    case D3DTSS_TEXTURETRANSFORMFLAGS:
      value = 0;
      return true;
    default:
      return false;
  }
}

StateCheck CheckStageState(DWORD stage, DWORD state, DWORD value) {
  switch (state) {
    case D3DTSS_COLOROP:
    case D3DTSS_ALPHAOP:
      if (value < D3DTOP_DISABLE || value > kLastTextureOp) return StateCheck::Invalid;
      // One stage is drawn, with the operations up to ADD.
      if (stage == 0 ? value > D3DTOP_ADD : value != D3DTOP_DISABLE) return StateCheck::Unsupported;
      return StateCheck::Ok;
    case D3DTSS_COLORARG1:
    case D3DTSS_COLORARG2:
    case D3DTSS_ALPHAARG1:
    case D3DTSS_ALPHAARG2:
      return ValidArgument(value) ? StateCheck::Ok : StateCheck::Invalid;
    case D3DTSS_TEXCOORDINDEX:
      if ((value & 0xFFFF) >= 8) return StateCheck::Invalid;
      return (value >> 16) ? StateCheck::Unsupported : StateCheck::Ok;  // generated coordinates
    case D3DTSS_ADDRESS:
    case D3DTSS_ADDRESSU:
    case D3DTSS_ADDRESSV:
      return value >= D3DTADDRESS_WRAP && value <= D3DTADDRESS_BORDER ? StateCheck::Ok : StateCheck::Invalid;
    case D3DTSS_MAGFILTER:
      return value >= D3DTFG_POINT && value <= D3DTFG_ANISOTROPIC ? StateCheck::Ok : StateCheck::Invalid;
    case D3DTSS_MINFILTER:
      return value >= D3DTFN_POINT && value <= D3DTFN_ANISOTROPIC ? StateCheck::Ok : StateCheck::Invalid;
    case D3DTSS_MIPFILTER:
      return value >= D3DTFP_NONE && value <= D3DTFP_LINEAR ? StateCheck::Ok : StateCheck::Invalid;
    case D3DTSS_TEXTURETRANSFORMFLAGS:
      return value == 0 ? StateCheck::Ok : StateCheck::Unsupported;
    default: {
      DWORD unused;
      return StageStateDefault(stage, state, unused) ? StateCheck::Ok : StateCheck::Invalid;
    }
  }
}

const char* StageStateName(DWORD state) {
  switch (state) {
    case D3DTSS_COLOROP:
      return "D3DTSS_COLOROP";
    case D3DTSS_ALPHAOP:
      return "D3DTSS_ALPHAOP";
    case D3DTSS_TEXCOORDINDEX:
      return "D3DTSS_TEXCOORDINDEX";
    case D3DTSS_TEXTURETRANSFORMFLAGS:
      return "D3DTSS_TEXTURETRANSFORMFLAGS";
    default:
      return "texture stage state";
  }
}

}  // namespace d3d::detail
