# bash completion for quorvel-cli: commands, their options, folders, --only's types and the
# numbers of the games find-game lists.

_quorvel_cli_found_numbers() {
    local count
    count=$(quorvel-cli find-game 2>/dev/null | wc -l)
    [ "$count" -gt 0 ] && seq 1 "$count"
}

_quorvel_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="list run purge delete-tmp purge-days set-game-dir find-game undo history check info help"
    local command="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        -* | =) ;;
        *) command=${COMP_WORDS[i]}; break ;;
        esac
    done

    # A value after an option, as "--cache DIR" or "--cache=DIR"; bash splits the latter at the
    # "=" into words of their own unless COMP_WORDBREAKS lacks it.
    local option=$prev
    if [[ $cur == --*=* ]]; then
        option=${cur%%=*}
        cur=${cur#*=}
    elif [[ $cur == = ]]; then
        cur=""
    elif [[ $prev == = ]]; then
        option=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    case $option in
    --cache | --to-folder | --to-tree)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -d -- "$cur"))
        return
        ;;
    --only)
        local done="" last=$cur
        [[ $cur == *,* ]] && done=${cur%,*}, last=${cur##*,}
        COMPREPLY=($(compgen -P "$done" -W "u uax umx unr utx" -- "$last"))
        compopt -o nospace 2>/dev/null
        return
        ;;
    --picture)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
        return
        ;;
    --found)
        COMPREPLY=($(compgen -W "$(_quorvel_cli_found_numbers)" -- "$cur"))
        return
        ;;
    --run)
        COMPREPLY=($(compgen -W "$(quorvel-cli history 2>/dev/null | awk '{print $3}')" -- "$cur"))
        return
        ;;
    esac

    local options
    case $command in
    "")
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
        ;;
    list) options="--all --only --cache --json --facts --help" ;;
    run) options="--all --only --cache --to-types --to-folder --to-tree --dry-run -n --even-if-game-runs --help" ;;
    purge) options="--yes -y --dry-run -n --even-if-game-runs --help" ;;
    delete-tmp) options="--dry-run -n --help" ;;
    purge-days) options="--help" ;;
    set-game-dir)
        options="--found --help"
        if [[ $cur != -* ]]; then
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur"))
            return
        fi
        ;;
    find-game) options="--json --help" ;;
    undo) options="--run --dry-run -n --even-if-game-runs --help" ;;
    check) options="--restore --cache --help" ;;
    info)
        options="--json --picture --cache --help"
        if [[ $cur != -* ]]; then
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            return
        fi
        ;;
    *) options="--help" ;;
    esac
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
}

complete -F _quorvel_cli quorvel-cli
