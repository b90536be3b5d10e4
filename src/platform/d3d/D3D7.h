// The Direct3D 7 immediate-mode interfaces the components call, API-shaped.
// The software devices implement them; tests may implement them to record calls.
#pragma once

#include "platform/d3d/D3DTypes.h"

struct DDPIXELFORMAT;
struct IDirectDrawSurface7;
struct IDirect3DDevice7;

using LPD3DENUMPIXELFORMATSCALLBACK = HRESULT (*)(DDPIXELFORMAT* format, void* context);

inline constexpr HRESULT D3DENUMRET_CANCEL = 0;
inline constexpr HRESULT D3DENUMRET_OK = 1;

// Result codes: MAKE_DDHRESULT(code) = 0x88760000 + code. Direct3D 7 reports invalid
// arguments as DDERR_INVALIDPARAMS (E_INVALIDARG).
inline constexpr HRESULT D3D_OK = 0;
inline constexpr HRESULT D3DERR_INVALIDCALL = E_INVALIDARG;
inline constexpr HRESULT D3DERR_INVALID_DEVICE = MakeHResult(0x887602C1);            // 705
inline constexpr HRESULT D3DERR_INVALIDPRIMITIVETYPE = MakeHResult(0x887602EA);      // 746
inline constexpr HRESULT D3DERR_INVALIDVERTEXTYPE = MakeHResult(0x887602EB);         // 747
inline constexpr HRESULT D3DERR_LIGHT_SET_FAILED = MakeHResult(0x887602EE);          // 750
inline constexpr HRESULT D3DERR_SCENE_IN_SCENE = MakeHResult(0x8876030C);            // 780
inline constexpr HRESULT D3DERR_SCENE_NOT_IN_SCENE = MakeHResult(0x8876030D);        // 781
inline constexpr HRESULT D3DERR_INBEGIN = MakeHResult(0x88760316);                   // 790
inline constexpr HRESULT D3DERR_NOTINBEGIN = MakeHResult(0x88760317);                // 791
inline constexpr HRESULT D3DERR_VERTEXBUFFEROPTIMIZED = MakeHResult(0x8876080C);     // 2060
inline constexpr HRESULT D3DERR_VBUF_CREATE_FAILED = MakeHResult(0x8876080D);        // 2061
inline constexpr HRESULT D3DERR_VERTEXBUFFERLOCKED = MakeHResult(0x8876080E);        // 2062
inline constexpr HRESULT D3DERR_ZBUFFER_NOTPRESENT = MakeHResult(0x88760816);        // 2070
inline constexpr HRESULT D3DERR_STENCILBUFFER_NOTPRESENT = MakeHResult(0x88760817);  // 2071

// The largest vertex buffer and the largest vertex count of one draw.
inline constexpr DWORD D3DMAXNUMVERTICES = (1u << 16) - 1;
inline constexpr DWORD D3DMAXNUMPRIMITIVES = (1u << 16) - 1;

// DrawPrimitive flags.
inline constexpr DWORD D3DDP_WAIT = 0x00000001;
inline constexpr DWORD D3DDP_DONOTCLIP = 0x00000004;
inline constexpr DWORD D3DDP_DONOTUPDATEEXTENTS = 0x00000008;
inline constexpr DWORD D3DDP_DONOTLIGHT = 0x00000010;

// Device kinds.
inline constexpr GUID IID_IDirect3DRampDevice = {
    0xF2086B20, 0x259F, 0x11CF, {0xA3, 0x1A, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};
inline constexpr GUID IID_IDirect3DRGBDevice = {
    0xA4665C60, 0x2673, 0x11CF, {0xA3, 0x1A, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};
inline constexpr GUID IID_IDirect3DHALDevice = {
    0x84E63DE0, 0x46AA, 0x11CF, {0x81, 0x6F, 0x00, 0x00, 0xC0, 0x20, 0x15, 0x6E}};
inline constexpr GUID IID_IDirect3DMMXDevice = {
    0x881949A1, 0xD6F3, 0x11D0, {0x89, 0xAB, 0x00, 0xA0, 0xC9, 0x05, 0x41, 0x29}};
inline constexpr GUID IID_IDirect3DRefDevice = {
    0x50936643, 0x13E9, 0x11D1, {0x89, 0xAA, 0x00, 0xA0, 0xC9, 0x05, 0x41, 0x29}};
inline constexpr GUID IID_IDirect3DTnLHalDevice = {
    0xF5049E78, 0x4861, 0x11D2, {0xA4, 0x07, 0x00, 0xA0, 0xC9, 0x06, 0x29, 0xA8}};
// Interfaces.
inline constexpr GUID IID_IDirect3DDevice7 = {
    0xF5049E79, 0x4861, 0x11D2, {0xA4, 0x07, 0x00, 0xA0, 0xC9, 0x06, 0x29, 0xA8}};
inline constexpr GUID IID_IDirect3DVertexBuffer7 = {
    0xF5049E7D, 0x4861, 0x11D2, {0xA4, 0x07, 0x00, 0xA0, 0xC9, 0x06, 0x29, 0xA8}};

struct IDirect3DVertexBuffer7 : IUnknown {
  virtual HRESULT Lock(DWORD flags, void** data, DWORD* size) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT Optimize(IDirect3DDevice7* device, DWORD flags) = 0;
  virtual HRESULT GetVertexBufferDesc(D3DVERTEXBUFFERDESC* desc) = 0;
};

struct IDirect3DDevice7 : IUnknown {
  virtual HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) = 0;
  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) = 0;
  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
  virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;
  virtual HRESULT SetViewport(const D3DVIEWPORT7* viewport) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT7* viewport) = 0;
  virtual HRESULT SetMaterial(const D3DMATERIAL7* material) = 0;
  virtual HRESULT GetMaterial(D3DMATERIAL7* material) = 0;
  virtual HRESULT SetLight(DWORD index, const D3DLIGHT7* light) = 0;
  virtual HRESULT GetLight(DWORD index, D3DLIGHT7* light) = 0;
  virtual HRESULT LightEnable(DWORD index, BOOL enable) = 0;
  virtual HRESULT GetLightEnable(DWORD index, BOOL* enable) = 0;
  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
  virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
  virtual HRESULT SetTexture(DWORD stage, IDirectDrawSurface7* texture) = 0;
  virtual HRESULT GetTexture(DWORD stage, IDirectDrawSurface7** texture) = 0;
  virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) = 0;
  virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD* value) = 0;
  virtual HRESULT DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE type, IDirect3DVertexBuffer7* buffer, DWORD startVertex,
                                         DWORD numVertices, const WORD* indices, DWORD indexCount, DWORD flags) = 0;
};

struct IDirect3D7 : IUnknown {
  virtual HRESULT CreateDevice(REFGUID deviceGuid, IDirectDrawSurface7* renderTarget, IDirect3DDevice7** device) = 0;
  virtual HRESULT CreateVertexBuffer(const D3DVERTEXBUFFERDESC* desc, IDirect3DVertexBuffer7** buffer, DWORD flags) = 0;
  virtual HRESULT EnumZBufferFormats(REFGUID deviceGuid, LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) = 0;
};
