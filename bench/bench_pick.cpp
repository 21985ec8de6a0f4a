// Picking speed on a 2,000,000-triangle foot in a 1000 x 800 view: 100 PickPoint calls at
// pixels spread over the foot, median time. The reference in the same run is VTK's cell picker
// on the same mesh without a locator, which walks every cell.
#include <vtkCellPicker.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkNew.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>

#include <random>
#include <vector>

#include "bench_support.h"
#include "kernelcad/render/scene_renderer.h"

using bench::Clock;
using bench::Median;
using bench::Ms;

int main() {
  const auto foot =
      footgen::GenerateFoot(footgen::Side::Left, footgen::ResolutionForVertices(1'000'000));
  std::printf("mesh: %zu vertices, %zu triangles\n", foot.mesh.pointCount(),
              foot.mesh.triangleCount());

  auto model = std::make_shared<kernelcad::Model>();
  auto view = std::make_shared<kernelcad::View>(model);
  model->setScan(std::make_shared<const kernelcad::Mesh>(foot.mesh));
  view->setViewportSize(1000, 800);
  auto frame = view->FindObject("EyeFrame");
  frame->ResetOrientation();
  frame->RotateAboutAxis(180.0, 1);
  frame->RotateAboutAxis(180.0, 2);

  kernelcad::SceneRenderer scene(model, view);
  vtkNew<vtkRenderWindow> window;
  window->SetOffScreenRendering(1);
  window->SetSize(1000, 800);
  window->AddRenderer(scene.renderer());
  const auto buildStart = Clock::now();
  scene.rebuild(true);
  const double buildMs = Ms(Clock::now() - buildStart);
  window->Render();

  // Pixels over the foot's footprint: projections of random vertices.
  std::mt19937 random(7);
  std::uniform_int_distribution<std::size_t> vertex(0, foot.mesh.pointCount() - 1);
  std::vector<std::pair<long, long>> pixels;
  for (int i = 0; i < 100; ++i) {
    const std::size_t v = 3 * vertex(random);
    const auto px = view->worldToPixel(
        kernelcad::Vec3(foot.mesh.points[v], foot.mesh.points[v + 1], foot.mesh.points[v + 2]));
    pixels.emplace_back(static_cast<long>(px.x()), static_cast<long>(px.y()));
  }

  // The first pick waits for the cell locator, built off this thread since the rebuild.
  kernelcad::Vec3 first;
  const auto locatorStart = Clock::now();
  view->PickPoint(pixels[0].first, pixels[0].second, first);
  const double locatorMs = Ms(Clock::now() - locatorStart);

  std::vector<double> ours;
  int hits = 0;
  for (const auto& [x, y] : pixels) {
    kernelcad::Vec3 point;
    const auto start = Clock::now();
    if (view->PickPoint(x, y, point)) ++hits;
    ours.push_back(Ms(Clock::now() - start));
  }

  vtkNew<vtkCellPicker> plain;
  plain->SetTolerance(0.0);
  std::vector<double> reference;
  for (std::size_t i = 0; i < 10; ++i) {
    const auto& [x, y] = pixels[i];
    const auto start = Clock::now();
    plain->Pick(x + 0.5, 800 - y - 0.5, 0.0, scene.renderer());
    reference.push_back(Ms(Clock::now() - start));
  }

  std::printf("actors and normals: %.1f ms; first pick, after the first frame: %.1f ms\n", buildMs,
              locatorMs);
  std::printf("PickPoint: median %.3f ms over %zu picks, %d hits\n", Median(ours), ours.size(),
              hits);
  std::printf("vtkCellPicker without locator: median %.1f ms over %zu picks\n", Median(reference),
              reference.size());
  std::printf("pick ratio (no locator / ours): %.0fx\n", Median(reference) / Median(ours));
  return Median(ours) < 1.0 ? 0 : 1;
}
