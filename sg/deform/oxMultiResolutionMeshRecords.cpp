#include "sg/deform/oxMultiResolutionMeshRecords.h"

namespace Kel::Sg {

void oxMrmVertex::arkRegisterInitialize(oxFields<oxMrmVertex>& f)
{
    f.add(&k_position, "position", &oxMrmVertex::_position);
    f.add(&k_normal, "normal", &oxMrmVertex::_normal);
    f.add(&k_colors, "colors", &oxMrmVertex::_colors);
    f.add(&k_textures, "textures", &oxMrmVertex::_textures).constructWithOwner();
    f.add(&k_blend_weights, "blend_weights", &oxMrmVertex::_blend_weights).constructWithOwner();
    f.add(&k_blend_indices, "blend_indices", &oxMrmVertex::_blend_indices).constructWithOwner();
    f.add(&k_que, "que", &oxMrmVertex::_que).constructWithOwner();
    f.add(&k_neighbor_edges, "neighbor_edges", &oxMrmVertex::_neighbor_edges).constructWithOwner();
    f.add(&k_neighbor_faces, "neighbor_faces", &oxMrmVertex::_neighbor_faces).constructWithOwner();
    f.add(&k_parent_vertex, "parent_vertex", &oxMrmVertex::_parent_vertex);
    f.add(&k_parent_index, "parent_index", &oxMrmVertex::_parent_index);
    f.add(&k_index, "index", &oxMrmVertex::_index);
    f.add(&k_final_index, "final_index", &oxMrmVertex::_final_index);
}

void oxMrmEdge::arkRegisterInitialize(oxFields<oxMrmEdge>& f)
{
    f.add(&k_cost, "cost", &oxMrmEdge::_cost);
    f.add(&k_vertex, "vertex", &oxMrmEdge::_vertex);
    f.add(&k_face, "face", &oxMrmEdge::_face);
    f.add(&k_optimal, "optimal", &oxMrmEdge::_optimal);
    f.add(&k_which, "which", &oxMrmEdge::_which).setDefault(uint8_t(0));
}

void oxMrmFace::arkRegisterInitialize(oxFields<oxMrmFace>& f)
{
    f.add(&k_vertex, "vertex", &oxMrmFace::_vertex);
    f.add(&k_original_vertex, "original_vertex", &oxMrmFace::_original_vertex);
    f.add(&k_folding_vertex, "folding_vertex", &oxMrmFace::_folding_vertex);
}

} // namespace Kel::Sg
