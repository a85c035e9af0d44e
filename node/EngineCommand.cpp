#include "node/EngineCommand.h"

#include "idl/WellKnownNames.h"

namespace node {

EngineCommand BuildEngineCommand(const std::filesystem::path& nodeFolder, const JobParameters& job, bool userScene) {
  std::string folder = nodeFolder.string();
  if (folder.empty() || folder.back() != '/') folder += '/';
  const std::string program = folder + kEngineProgram;
  const std::string scene =
      folder + farm::kPackageFolder + "/" + (userScene ? farm::kFarmOptionsFile : farm::kSceneFile);
  // Band 1 from the top is +sr0, which the renderer reads as the fraction 0.
  const std::string sr = "+sr" + std::to_string(farm::OutgoingFirstRow(job.part, job.rows));
  const std::string er = "+er" + std::to_string(job.rows.last);
  const std::string out = "+ORender" + std::to_string(job.part) + ".bmp";
  const std::string w = "+W" + std::to_string(job.width);
  const std::string h = "+H" + std::to_string(job.height);

  EngineCommand c;
  // The line piece by piece; its doubled blanks are part of it.
  c.text = program + " /Exit  /Render  ";
  c.text += "  ";
  c.text += scene + " ";
  c.text += " +sc0 ";
  c.text += " " + sr + " ";
  c.text += " +ec1.0 ";
  c.text += " " + er + " ";
  c.text += out;
  c.text += " " + w + " ";
  c.text += " " + h + " ";
  c.argv = {program, "/Exit", "/Render", scene, "+sc0", sr, "+ec1.0", er, out, w, h};
  if (!userScene) {
    c.text += " +UA";
    c.argv.push_back("+UA");
  }
  if (job.rows.frame) {
    const std::string frame = std::to_string(*job.rows.frame);
    for (const std::string& arg : {"+SF" + frame, "+EF" + frame}) {
      c.text += " " + arg;
      c.argv.push_back(arg);
    }
  }
  return c;
}

}  // namespace node
