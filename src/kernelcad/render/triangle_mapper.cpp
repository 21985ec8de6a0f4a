#include "kernelcad/render/triangle_mapper.h"

#include <vtkActor.h>
#include <vtkCellArray.h>
#include <vtkObjectFactory.h>
#include <vtkOpenGLIndexBufferObject.h>
#include <vtkPolyData.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

namespace kernelcad {

vtkStandardNewMacro(TriangleMeshMapper);

namespace {

// The corner indices of `poly` when it holds triangles alone in 32-bit storage, else null.
vtkTypeInt32Array* TriangleCorners(vtkPolyData* poly) {
  vtkCellArray* polys = poly->GetPolys();
  if (poly->GetNumberOfVerts() != 0 || poly->GetNumberOfLines() != 0 ||
      poly->GetNumberOfStrips() != 0 || polys->IsStorage64Bit())
    return nullptr;
  if (polys->GetNumberOfConnectivityIds() != 3 * polys->GetNumberOfCells()) return nullptr;
  return polys->GetConnectivityArray32();
}

}  // namespace

void TriangleMeshMapper::BuildIBO(vtkRenderer* ren, vtkActor* act, vtkPolyData* poly) {
  vtkProperty* prop = act->GetProperty();
  vtkTypeInt32Array* corners = TriangleCorners(poly);
  if (!corners || ren->GetSelector() || prop->GetRepresentation() != VTK_SURFACE ||
      prop->GetEdgeVisibility() || prop->GetVertexVisibility()) {
    uploaded_ = nullptr;
    Superclass::BuildIBO(ren, act, poly);
    return;
  }
  // The general road's record of what it built no longer describes the buffers.
  IBOBuildState.Clear();
  const void* data = corners->GetVoidPointer(0);
  if (data == uploaded_ && corners->GetMTime() <= uploadedTime_) return;
  for (int i = 0; i < PrimitiveEnd; ++i) Primitives[i].IBO->IndexCount = 0;
  vtkOpenGLIndexBufferObject* ibo = Primitives[PrimitiveTris].IBO;
  const auto count = static_cast<std::size_t>(corners->GetNumberOfValues());
  // The shaders read corner indices as unsigned; a scan's are never negative.
  ibo->Upload(static_cast<const unsigned*>(data), count, vtkOpenGLBufferObject::ElementArrayBuffer);
  ibo->IndexCount = count;
  uploaded_ = data;
  uploadedTime_ = corners->GetMTime();
}

}  // namespace kernelcad
