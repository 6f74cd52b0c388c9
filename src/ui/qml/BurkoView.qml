import QtQuick
import Depotrium

// The pet, Бурко, in the pose of the model's pet state.
BurkoCanvas {
    id: canvas

    Accessible.role: Accessible.Graphic
    Accessible.name: canvas.accessibleLabel
}
