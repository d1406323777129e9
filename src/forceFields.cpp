// Host force fields acting on the simulated bodies, sampled once per substep.

#include <vector>

#include "engine/bodies/hardBody.h"
#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/fractureBody.h"
#include "host/api/fnField.h"
#include "host/api/vectors.h"
#include "src/fractureBodyNode.h"
#include "src/rigidBodyNode.h"
#include "src/solverNode.h"

namespace {

// A body woken by a field force longer than this becomes dynamic.
constexpr double kWakeForce = 1e-5;

// The field nodes wired into an array of field links, element by element.
std::vector<MObject> connectedFields(const MPlug& list) {
    std::vector<MObject> fields;
    const auto take = [&](const MPlug& plug) {
        MPlugArray sources;
        plug.connectedTo(sources, true, false);
        for (unsigned i = 0; i < sources.length(); ++i)
            if (sources[i].node().hasFn(MFn::kField)) fields.push_back(sources[i].node());
    };
    if (!list.isArray()) {
        take(list);
        return fields;
    }
    for (unsigned e = 0; e < list.numElements(); ++e) take(list.elementByPhysicalIndex(e));
    return fields;
}

// Field samples: a body's centre of mass, velocity and mass each.
struct Samples {
    MPointArray points;
    MVectorArray velocities;
    MDoubleArray masses;
    std::vector<HardBody*> bodies;

    void add(HardBody* body) {
        const RBDynamics& state = body->getDyn();
        points.append(MPoint(state.position.x, state.position.y, state.position.z));
        velocities.append(MVector(state.v.x, state.v.y, state.v.z));
        masses.append(1.0 / state.invMass);
        bodies.push_back(body);
    }
};

// The sum of every field's force on each sample. With several fields the forces add up,
// as they would in the host's own dynamics.
MVectorArray fieldForces(const std::vector<MObject>& fields, const Samples& samples, double dt) {
    MVectorArray total(samples.points.length(), MVector());
    MVectorArray forces;
    for (const MObject& node : fields) {
        MFnField field;
        if (!field.setObject(node)) continue;
        field.getForceAtPoint(samples.points, samples.velocities, samples.masses, forces, dt);
        for (unsigned i = 0; i < forces.length() && i < total.length(); ++i) total[i] += forces[i];
    }
    return total;
}

Qmt::QmtVector3 toEngine(const MVector& v) { return {v.x, v.y, v.z}; }

bool sampledInFracturePass(const HardBody* body) { return body->isActive() && !body->isStatic(); }

// A fracture body's samples, depth first: the body when it moves, its moving fragments,
// then each child fracture body the same way.
void sampleFractureTree(FractureBody* body, Samples& samples) {
    if (sampledInFracturePass(body)) samples.add(body);
    for (PrivateHardBody* fragment : body->fragments)
        if (sampledInFracturePass(fragment)) samples.add(fragment);
    for (FractureBody* child : body->children) sampleFractureTree(child, samples);
}

// The field forces of a substep replace the last substep's: the engine's step never
// clears a body's external force, so without this they would pile up step after step.
void clearFractureTreeForces(FractureBody* body) {
    body->clearExternalForces();
    for (PrivateHardBody* fragment : body->fragments) fragment->clearExternalForces();
    for (FractureBody* child : body->children) clearFractureTreeForces(child);
}

}  // namespace

void zylSolverNode::applyForceFields(const SolverNodeLists& nodes, int frame, double dt) {
    std::vector<rigidBodyNode*> moving;
    std::vector<rigidBodyNode*> waking;
    for (rigidBodyNode* rb : nodes.rigidBodies) {
        const HardBody* body = rb->getBody(false);
        if (rb->getOwner() || !body || !rb->affectsForceFields()) continue;
        const bool isStatic = body->isStatic() || (body->getParent() && body->getParent()->isStatic());
        // A static body only listens for a wake-up, and only when its own first-hit
        // flag waits for one.
        if (!isStatic)
            moving.push_back(rb);
        else if (body->flags & BODY_FIRST_HIT)
            waking.push_back(rb);
    }

    for (rigidBodyNode* rb : moving) {
        HardBody* body = rb->getBody(false);
        const MPlug list(rb->thisMObject(), rigidBodyNode::fieldList);
        if (list.isArray()) body->clearExternalForces();
        Samples sample;
        sample.add(body);
        body->applyExternalForce(toEngine(fieldForces(connectedFields(list), sample, dt)[0]));
    }
    for (rigidBodyNode* rb : waking) {
        HardBody* body = rb->getBody(false);
        Samples sample;
        sample.add(body);
        const MPlug list(rb->thisMObject(), rigidBodyNode::fieldList);
        if (fieldForces(connectedFields(list), sample, dt)[0].length() > kWakeForce) body->disableStatic();
    }

    for (FractureBodyNode* fb : nodes.fractureBodies) {
        FractureBody* body = fb->fractureBody;
        if (!fb->affectsFields || !body || !body->isBreakable()) continue;
        clearFractureTreeForces(body);
        Samples samples;
        sampleFractureTree(body, samples);
        const std::vector<MObject> fields = connectedFields(MPlug(fb->thisMObject(), FractureBodyNode::fieldList));
        const MVectorArray forces = fieldForces(fields, samples, dt);
        for (std::size_t i = 0; i < samples.bodies.size(); ++i)
            samples.bodies[i]->applyExternalForce(toEngine(forces[static_cast<unsigned>(i)]));
    }
    for (FractureBodyNode* fb : nodes.fractureBodies) {
        FractureBody* body = fb->fractureBody;
        if (!fb->affectsFields || !body || !body->isBreakable()) continue;
        body->clearJointExternalForces();
        MVectorArray positions;
        MVectorArray velocities;
        MDoubleArray masses;
        fb->collectStressFieldSamples(positions, velocities, masses);
        MVectorArray accumulator(positions.length(), MVector());
        for (const MObject& field : connectedFields(MPlug(fb->thisMObject(), FractureBodyNode::fieldList)))
            fb->addFieldForces(field, positions, velocities, masses, accumulator, dt);
        fb->applyStressFieldForces(accumulator, frame);
        fb->splitWeakJoints();
    }
}
