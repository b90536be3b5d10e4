// Vertex buffers: plain memory in the layout of their vertex format.
#include "platform/d3d/D3DInternal.h"

namespace d3d::detail {

VertexBuffer::VertexBuffer(const D3DVERTEXBUFFERDESC& desc, int vertexSize)
    : desc_(desc), stride_(static_cast<uint32_t>(vertexSize)) {
  data_.assign(static_cast<std::size_t>(desc_.dwNumVertices) * stride_, 0);
}

VertexBuffer* VertexBuffer::From(IDirect3DVertexBuffer7* buffer) { return dynamic_cast<VertexBuffer*>(buffer); }

HRESULT VertexBuffer::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IDirect3DVertexBuffer7) return E_NOINTERFACE;
  AddRef();
  *ppv = static_cast<IDirect3DVertexBuffer7*>(this);
  return S_OK;
}

HRESULT VertexBuffer::Lock(DWORD flags, void** data, DWORD* size) {
  (void)flags;  // the memory is always there: waiting, discarding and read/write hints change nothing
  if (!data) return DDERR_INVALIDPARAMS;
  *data = nullptr;
  // An optimised buffer has been handed to the device for good.
  if (optimized_) return D3DERR_VERTEXBUFFEROPTIMIZED;
  ++locks_;
  *data = data_.data();
  if (size) *size = static_cast<DWORD>(data_.size());
  return D3D_OK;
}

HRESULT VertexBuffer::Unlock() {
  if (locks_ == 0) return DDERR_NOTLOCKED;
  --locks_;
  return D3D_OK;
}

HRESULT VertexBuffer::Optimize(IDirect3DDevice7* device, DWORD flags) {
  if (!device || flags != 0) return DDERR_INVALIDPARAMS;
  if (optimized_) return D3DERR_VERTEXBUFFEROPTIMIZED;
  if (locks_ > 0) return D3DERR_VERTEXBUFFERLOCKED;
  optimized_ = true;
  desc_.dwCaps |= D3DVBCAPS_OPTIMIZED;
  return D3D_OK;
}

HRESULT VertexBuffer::GetVertexBufferDesc(D3DVERTEXBUFFERDESC* desc) {
  if (!desc || desc->dwSize != sizeof(D3DVERTEXBUFFERDESC)) return DDERR_INVALIDPARAMS;
  *desc = desc_;
  return D3D_OK;
}

}  // namespace d3d::detail
