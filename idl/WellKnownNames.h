#pragma once

// The names the farm's processes agree on. Every one travels on the wire or
// names a file another process looks for, so none may change on one side
// only.
namespace farm {

// The workgroup server's registration object in the name registry, and the
// one work group every node joins and every job renders on.
inline constexpr char kWorkGroupService[] = "WorkGroup";
inline constexpr char kWorkGroupName[] = "Tessel";

// The job package as the boss sends it and the node stores it; the one
// folder it holds, and the scene file in that folder the engine renders.
inline constexpr char kPackageName[] = "Render.zip";
inline constexpr char kPackageFolder[] = "Render";
inline constexpr char kSceneFile[] = "Tessel.pov";
// In the package folder of a user's own scene (never in one the scene maker
// wrote): the render options the farm accepted (idl/RenderOptions.h). Its
// presence makes the node start the engine on it instead of kSceneFile.
inline constexpr char kFarmOptionsFile[] = "lumora-scene.ini";
// Written by the engine into the node folder (where the renderer cannot
// write) when it fails a band: one line saying why, for the node's failure
// report, and a second line kSceneWrongWord when the scene itself is wrong
// (it does not parse) rather than this node.
inline constexpr char kEngineFailureName[] = "EngineFailure.txt";
// The label of band k's end message: kBandLabelPrefix, k in decimal,
// kBandLabelSuffix (the form Render%d.zip; see idl/BandLabel.h).
inline constexpr char kBandLabelPrefix[] = "Render";
inline constexpr char kBandLabelSuffix[] = ".zip";

// Element 0 of the DataSeq messages: job parameters (boss to node) and end
// messages (node to boss); kFailedWord follows the label of a band that
// could not be rendered.
inline constexpr char kOneFrameWord[] = "OneFrame";
inline constexpr char kFinishWord[] = "Finish";
inline constexpr char kFailedWord[] = "Failed";
// Follows the reason of a failed band when the scene is wrong: rendering it
// again elsewhere cannot help.
inline constexpr char kSceneWrongWord[] = "SceneWrong";

// Request commands of the name registry's datagrams, and the look-up answer
// for a name nobody registered.
inline constexpr char kRegistryPut[] = "PUT";
inline constexpr char kRegistryGet[] = "Get";
inline constexpr char kRegistryBadService[] = "BADSERVICE";
inline constexpr char kRegistryStop[] = "STOP";
inline constexpr char kRegistryNoReference[] = "noneior";

}  // namespace farm
