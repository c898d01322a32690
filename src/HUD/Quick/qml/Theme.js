.pragma library

// Colour roles of the HUD, for its dark translucent surface.
var roles = {
    primary: "#f2f2f7",
    secondary: "#b3b3bd",
    tertiary: "#83838e",
    quaternary: "#55555e",
    accent: "#0a84ff",
    gray: "#8e8e93",
    green: "#30d158",
    orange: "#ff9f0a",
    red: "#ff453a",
    blue: "#0a84ff",
    yellow: "#ffd60a"
};

function color(role) { return roles[role] !== undefined ? roles[role] : roles.primary; }

var mono = "DejaVu Sans Mono";
var sans = "DejaVu Sans";
