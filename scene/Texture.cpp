#include "scene/Texture.h"

#include "scene/Format.h"

namespace scene {

void PigmentPart::SetImage(std::string type, std::string file, double transmit, bool uvMapping) {
  image_type_ = std::move(type);
  image_file_ = std::move(file);
  transmit_.Set(transmit);
  uv_ = uvMapping;
}

std::string PigmentPart::Text() const {
  if (image_file_ == " ") return Format(" \n pigment { \n %s \n}", color.Text());
  if (uv_) {
    return Format(" \n pigment { \n  uv_mapping image_map{\n %s\n\"%s\"   %s\n }  \n}", image_type_, image_file_,
                  transmit_.Text());
  }
  return Format(" \n pigment { \n  image_map{\n %s\n\"%s\"   %s\n }  \n}", image_type_, image_file_, transmit_.Text());
}

void NormalPart::SetImage(std::string type, std::string file) {
  image_type_ = std::move(type);
  image_file_ = std::move(file);
}

std::string NormalPart::Text() const {
  // The file name is quoted without padding: the renderer takes blanks
  // inside the quotes as part of the name.
  return Format(" \n normal  { \n bump_map  { \n%s \"%s\"  \n  %s \n}\n}", image_type_, image_file_, bump_size.Text());
}

std::string ReflectionBlock::Text() const {
  if (!enabled) return kUnset;
  return Format(" \n reflection { \n %s \n %s \n %s \n %s \n %s \n %s \n}\n", min.Text(), max.Text(), fresnel.Text(),
                falloff.Text(), exponent.Text(), metallic.Text());
}

std::string FinishPart::Text() const {
  return Format(
      " \n finish  { \n %s \n %s \n %s \n %s \n %s \n %s \n %s \n %s \n %s \n %s \n %s  \n "
      "conserve_energy \n}\n",
      ambient.Text(), diffuse.Text(), brilliance.Text(), phong.Text(), phong_size.Text(), specular.Text(),
      roughness.Text(), metallic.Text(), reflection_color.Text(), reflection.Text(), crand.Text());
}

std::string InteriorPart::Text() const {
  return Format(" \n interior { \n %s \n %s \n %s \n %s \n %s \n %s \n}", ior.Text(), caustics.Text(),
                dispersion.Text(), fade_distance.Text(), fade_power.Text(), fade_color.Text());
}

void Texture::Begin(PartKind kind) {
  switch (kind) {
    case PartKind::kPigment: current_ = std::make_shared<PigmentPart>(); break;
    case PartKind::kNormal: current_ = std::make_shared<NormalPart>(); break;
    case PartKind::kFinish: current_ = std::make_shared<FinishPart>(); break;
    case PartKind::kInterior: current_ = std::make_shared<InteriorPart>(); break;
  }
}

bool Texture::End() {
  if (!current_) return false;
  parts_.push_back(current_);
  return true;
}

const TexturePart* Texture::LastInterior() const {
  const TexturePart* last = nullptr;
  for (const auto& p : parts_) {
    if (p->kind() == PartKind::kInterior) last = p.get();
  }
  return last;
}

std::string Texture::ReferenceText(const PlacementSlots&) const {
  if (LastInterior() != nullptr) return Format(" \n material { \n %s %s \n}", id(), kUnset);
  return Format(" \n texture { \n %s %s \n}", id(), kUnset);
}

std::string Texture::BuildDeclaration() const {
  std::string body = " ";
  for (const auto& p : parts_) {
    if (p->kind() != PartKind::kInterior) body += p->Text();
  }
  if (const TexturePart* interior = LastInterior()) {
    return Format(" \n #declare %s = material {texture { \n %s \n} %s\n}\n", id(), body, interior->Text());
  }
  return Format(" \n #declare %s =texture { \n %s \n}", id(), body);
}

}  // namespace scene
