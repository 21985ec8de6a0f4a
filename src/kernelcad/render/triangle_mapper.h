#pragma once

#include <vtkOpenGLPolyDataMapper.h>

namespace kernelcad {

// Draws polydata made of triangles alone, kept as 32-bit corner indices, by handing those indices
// to the graphics as they are. The general mapper walks every cell into a growing index list and
// copies it again: on a 2M-triangle scan that is 30 ms of the first frame and 56 MB at its
// peak. Anything else (other cells, wireframe, edges, selection passes) takes the general road.
class TriangleMeshMapper : public vtkOpenGLPolyDataMapper {
 public:
  static TriangleMeshMapper* New();
  vtkTypeMacro(TriangleMeshMapper, vtkOpenGLPolyDataMapper)

 protected:
  TriangleMeshMapper() = default;
  void BuildIBO(vtkRenderer* ren, vtkActor* act, vtkPolyData* poly) override;

 private:
  // What the triangle buffer holds, so that a rebuild of the vertex buffers (a change of colour,
  // say) does not send the same indices again.
  const void* uploaded_ = nullptr;
  vtkMTimeType uploadedTime_ = 0;
};

}  // namespace kernelcad
